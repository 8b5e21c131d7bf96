#pragma once
// The one fixture of the tests: a fresh terminal folder under the system's
// temporary folder, the terminal folder of a host installed while it lives (with
// the debug output collected, and where the OS has no windows of its own the
// program's resources and a headless screen), removed afterwards.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/host.h"
#include "tests/support/bitmap_builder.h"

namespace bramble::test {

class HeadlessHost;

class TempTerminal {
 public:
  // Installs `host`, or without one this build's host (on Linux with a headless screen).
  explicit TempTerminal(platform::Host* host = nullptr);
  ~TempTerminal();
  TempTerminal(const TempTerminal&) = delete;
  TempTerminal& operator=(const TempTerminal&) = delete;

  const std::filesystem::path& root() const { return m_root; }
  // Host path of a relative path inside the folder ("SDMMC DISK/logo.bmp").
  // The text is UTF-8 on every host.
  std::filesystem::path operator/(std::string_view relative) const;

  void MakeCard() const;
  void MakeFlashDriver() const;

  // Writes a file (creating its folders).
  void Write(std::string_view relative, std::span<const std::byte> bytes) const;
  void WriteText(std::string_view relative, std::string_view text) const;

  // What NKDbgPrintfW printed so far, as UTF-8; reading it empties it.
  std::string TakeDebugOutput();
  // Puts another device behind "DSK1:".
  void UseFlashDevice(platform::BlockDevice& device);
#ifndef _WIN32  // Windows shows windows itself
  HeadlessHost& host() const;
#endif

 private:
  std::filesystem::path m_root;
  std::string m_debug;
  std::unique_ptr<platform::Host> m_ownHost;
  platform::Host* m_host;
  platform::Host* m_previous;
};

// A value as the registry keeps it: its type (1 text, 3 bytes, 4 number) and bytes.
struct StoredValue {
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::byte> bytes;
};
// The registry's key HKEY_LOCAL_MACHINE\`key` holding `value` alone, and no other
// key under HKEY_LOCAL_MACHINE\Platform; no value, no such key at all. Linux
// keeps it in the folder's registry.reg; Windows in its own registry.
void WriteRegistry(const TempTerminal& terminal, const std::optional<StoredValue>& value,
                   std::string_view key = "Platform\\OS");
// The UTF-16LE bytes of `text`.
std::vector<std::byte> WideBytes(platform::WStringView text);

// A registry naming the model, and info.txt with the version.
void WriteIdentity(const TempTerminal& terminal, std::string_view model, std::string_view version = "V1.02");
void WriteBitmap(const TempTerminal& terminal, const BitmapLayout& layout,
                 std::string_view relative = "SDMMC DISK/logo.bmp", const PixelFunction& pixel = PatternPixel);
// A listed model, a valid logo.bmp on the card, a default logo in resident flash
// and a flash driver folder with its trace switched on; a ReadyTerminal is so from its start.
void MakeReadyTerminal(const TempTerminal& terminal, std::string_view model = "QX210");
class ReadyTerminal : public TempTerminal {
 public:
  explicit ReadyTerminal(std::string_view model = "QX210", platform::Host* host = nullptr) : TempTerminal(host) {
    MakeReadyTerminal(*this, model);
  }
};

std::vector<std::byte> ReadFileBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::byte> Bytes(std::string_view text);
// `size` bytes in which neighbouring bytes and sectors differ, so a shifted or
// swapped sector shows.
std::vector<std::byte> PatternBytes(std::size_t size);
// The sector that ends a logo in flash: "LOGO" and 508 bytes of 0xFF.
std::vector<std::byte> EndMarker();
int OpenDescriptorCount();

}  // namespace bramble::test
