#pragma once
// What the terminal's code reaches outside itself, installed in one place: by the
// program at start, by a test fixture for its test. Nothing else in the platform
// keeps a setting of its own.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/sim/host_io.h"

namespace platform {

class BlockDevice;

// Where the terminal folder is when nothing names it: in the current directory.
inline constexpr const char* kDefaultTerminalFolder = "terminal";

struct Surroundings {
  // The host's own files, for the simulated terminal's storage, flash and claim.
  HostFiles* hostFiles = nullptr;
  // The folder that stands for the terminal's storage, registry and flash.
  std::filesystem::path terminalRoot = kDefaultTerminalFolder;
  // The device behind "DSK1:"; none: the simulated flash driver over terminalRoot/flash.
  BlockDevice* flashDevice = nullptr;
  // Where NKDbgPrintfW's lines go, as UTF-8; none: standard error.
  std::function<void(std::string_view utf8)> debugOutput;
};

// The default surroundings with the files of the host this program is built for,
// for the program to install.
inline Surroundings SurroundingsOfThisHost() {
  Surroundings surroundings;
  surroundings.hostFiles = &FilesOfThisHost();
  return surroundings;
}

// Replaces the surroundings; returns the ones it replaced.
Surroundings InstallSurroundings(Surroundings surroundings);
const Surroundings& CurrentSurroundings();

// Other surroundings for as long as it lives, for a host tool that runs the
// terminal's code against a folder of its choosing.
class ScopedSurroundings {
 public:
  explicit ScopedSurroundings(Surroundings surroundings) : m_previous(InstallSurroundings(std::move(surroundings))) {}
  ~ScopedSurroundings() { InstallSurroundings(std::move(m_previous)); }
  ScopedSurroundings(const ScopedSurroundings&) = delete;
  ScopedSurroundings& operator=(const ScopedSurroundings&) = delete;

 private:
  Surroundings m_previous;
};

// --root DIR, else $BRAMBLE_ROOT, else ./terminal.
std::filesystem::path ChooseTerminalRoot(const std::optional<std::filesystem::path>& option);

}  // namespace platform
