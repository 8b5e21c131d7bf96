#pragma once
// The one fixture of the tests: a fresh terminal folder under the system's
// temporary folder, installed as the surroundings of the terminal's code while it
// lives (with the debug output collected, and where the OS has no windows of its
// own the program's resources and a headless host), removed afterwards.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/surroundings.h"
#include "tests/support/bitmap_builder.h"

namespace bramble::test {

class HeadlessHost;

class TempTerminal {
 public:
  // Windows are shown by `host`; without one, where the OS has no windows of its
  // own, by a headless host.
  explicit TempTerminal(platform::window::Host* host = nullptr);
  ~TempTerminal();
  TempTerminal(const TempTerminal&) = delete;
  TempTerminal& operator=(const TempTerminal&) = delete;

  const std::filesystem::path& root() const { return m_root; }
  // Host path of a relative path inside the folder ("SDMMC DISK/logo.bmp").
  std::filesystem::path operator/(std::string_view relative) const { return m_root / relative; }

  // The usual folders: the card, resident flash, the flash driver.
  void MakeCard() const;
  void MakeFlashDriver() const;

  // Writes a file (creating its folders).
  void Write(std::string_view relative, std::span<const std::byte> bytes) const;
  void WriteText(std::string_view relative, std::string_view text) const;

  // What NKDbgPrintfW printed so far, as UTF-8; reading it empties it.
  std::string TakeDebugOutput();
  // Puts another device behind "DSK1:".
  void UseFlashDevice(platform::BlockDevice& device);
  HeadlessHost& host() const { return *m_host; }

 private:
  std::filesystem::path m_root;
  std::string m_debug;
  std::unique_ptr<HeadlessHost> m_host;
  platform::Surroundings m_previous;
};

// A registry naming the model, and info.txt with the version.
void WriteIdentity(const TempTerminal& terminal, std::string_view model, std::string_view version = "V1.02");
// A bitmap on the card as logo.bmp (or at another relative path).
void WriteBitmap(const TempTerminal& terminal, const BitmapLayout& layout,
                 std::string_view relative = "SDMMC DISK/logo.bmp", const PixelFunction& pixel = PatternPixel);
// A listed model, a valid logo.bmp on the card, a default logo in resident flash
// and a flash driver folder with its trace switched on.
void MakeReadyTerminal(const TempTerminal& terminal, std::string_view model = "QX210");

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::byte> Bytes(std::string_view text);
// `size` bytes in which neighbouring bytes and sectors differ, so a shifted or
// swapped sector shows.
std::vector<std::byte> PatternBytes(std::size_t size);
// The sector that ends a logo in flash: "LOGO" and 508 bytes of 0xFF.
std::vector<std::byte> EndMarker();
// The file descriptors this process holds open.
int OpenDescriptorCount();

}  // namespace bramble::test
