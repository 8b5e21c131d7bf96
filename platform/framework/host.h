#pragma once
// The host: what the system's layers need of the machine they run on, and the
// surroundings they run in. Each host implements it once (platform/posix with
// platform/window and platform/qt on Linux, platform/win32 on Windows) and the
// program installs it in one place at its start, a test fixture for its test.
// Nothing else in the platform keeps a setting of its own.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/framework/cstring.h"

class CDialog;

namespace platform {

class BlockDevice;

inline constexpr const char* kDefaultTerminalFolder = "terminal";  // in the current directory

// One open file of the host, for the simulated terminal's own use (HostIo).
class HostIoFile {
 public:
  virtual ~HostIoFile() = default;
  virtual std::optional<std::uint64_t> Size() const = 0;
  virtual std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const = 0;
  virtual bool WriteAt(const void* data, std::size_t size, std::uint64_t offset) = 0;
  virtual bool Append(const void* data, std::size_t size) = 0;
  virtual bool Truncate(std::uint64_t size) = 0;
  virtual bool Sync() = 0;
};

enum class HostFileMode {
  kRead,       // a regular file only: anything else fails at once, never blocks
  kReadWrite,  // created when missing
  kAppend,     // an existing file or a FIFO that has a reader: a FIFO without one is not opened
  kFolder,     // a folder, to make its entries durable
};
enum class HostLockResult { kHeld, kBusy, kUnavailable };

// The base is a host without files or windows of its own: what runs before
// anything is installed.
class Host {
 public:
  virtual ~Host() = default;

  // As HostIo::Open and HostIo::Lock (platform/sim/host_io.h) say.
  virtual std::unique_ptr<HostIoFile> OpenFile(const std::filesystem::path&, HostFileMode, bool* /*created*/) {
    return nullptr;
  }
  virtual std::unique_ptr<HostIoFile> LockFile(const std::filesystem::path&, HostLockResult*) { return nullptr; }
  virtual unsigned long ProcessId() { return 0; }

  // Puts a new dialog's controls where the terminal shows them, given the template
  // the dialog was made from: called once the controls exist, before the dialog
  // initialises, by a host whose dialog manager lays templates out by rules of its own.
  virtual void PlaceControls(HWND /*dialog*/, std::span<const std::byte> /*dialogTemplate*/) {}
  // The dialog as the screen shows it, saved as a PNG picture (--play).
  virtual bool SaveScreenshot(HWND /*dialog*/, const std::filesystem::path& /*file*/) { return false; }
  // A second start on a terminal that the program `processId` holds: that
  // program's windows come to the front, where the host can reach them.
  virtual void ShowRunningProgram(unsigned long /*processId*/) {}

  // The folder that stands for the terminal's storage, registry and flash.
  std::filesystem::path terminalRoot = kDefaultTerminalFolder;
  // The device behind "DSK1:"; none: the simulated flash driver over terminalRoot/flash.
  BlockDevice* flashDevice = nullptr;
  // Where NKDbgPrintfW's lines go, as UTF-8; none: standard error.
  std::function<void(std::string_view utf8)> debugOutput;
  // Takes the user's place in the next dialog run modally: called from the
  // dialog's own message loop once it has initialised, and runs until it ends the
  // dialog or returns. Automation and tests use it.
  std::function<void(CDialog& dialog)> modalScript;
  // Takes the place of the message box while it is set: automation confirms
  // boxes and records what they said.
  std::function<int(const CString& text, UINT type)> messageBox;
};

namespace detail {
inline Host* g_installedHost = nullptr;
}

// The one install point; returns the host it replaced.
inline Host* InstallHost(Host* host) { return std::exchange(detail::g_installedHost, host); }
inline Host& CurrentHost() {
  static Host none;
  return detail::g_installedHost ? *detail::g_installedHost : none;
}

}  // namespace platform
