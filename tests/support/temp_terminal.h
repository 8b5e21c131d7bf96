#pragma once
// A fresh terminal folder under the system's temporary folder, made the current
// terminal root while the object lives and removed afterwards.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace bramble::test {

class TempTerminal {
 public:
  TempTerminal();
  ~TempTerminal();
  TempTerminal(const TempTerminal&) = delete;
  TempTerminal& operator=(const TempTerminal&) = delete;

  const std::filesystem::path& root() const { return m_root; }
  // Host path of a relative path inside the folder ("SDMMC DISK/logo.bmp").
  std::filesystem::path operator/(std::string_view relative) const { return m_root / relative; }

  // The usual folders: the card, resident flash, the flash driver.
  void MakeCard() const;
  void MakeResidentFlash() const;
  void MakeFlashDriver() const;

  // Writes a file (creating its folders).
  void Write(std::string_view relative, std::span<const std::byte> bytes) const;
  void WriteText(std::string_view relative, std::string_view text) const;

 private:
  std::filesystem::path m_root;
  platform::ScopedTerminalRoot m_scope;
};

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::byte> Bytes(std::string_view text);
// `size` bytes in which neighbouring bytes and sectors differ, so a shifted or
// swapped sector shows.
std::vector<std::byte> PatternBytes(std::size_t size);
// The file descriptors this process holds open.
int OpenDescriptorCount();

}  // namespace bramble::test
