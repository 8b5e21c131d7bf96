#pragma once
// The host on Windows: the simulated terminal's files over handles, the dialog's
// controls moved to the edge-by-edge pixels once the platform's dialog manager
// has made them (it lays a template out in units of the dialog font), the
// --play screenshot of the real window (a PNG by the Windows Imaging Component),
// and a second start's answer: the running program's dialog comes to the front,
// as a program that guards itself with a named mutex does.

#include "platform/framework/host.h"

namespace platform::win32 {

class Win32Host final : public Host {
 public:
  std::unique_ptr<HostIoFile> OpenFile(const std::filesystem::path& path, HostFileMode mode, bool* created) override;
  std::unique_ptr<HostIoFile> LockFile(const std::filesystem::path& path, HostLockResult* result) override;
  unsigned long ProcessId() override;
  // A control whose identifier differs from its template item's (one the
  // program made itself) stays where it is.
  void PlaceControls(HWND dialog, std::span<const std::byte> dialogTemplate) override;
  // The window's client area, copied from the screen.
  bool SaveScreenshot(HWND dialog, const std::filesystem::path& file) override;
  // Nothing when the program has no window on this desktop (one of another host).
  void ShowRunningProgram(unsigned long processId) override;
};

// While it lives, a maximized window of this thread is neither restored nor
// minimized. Wine's dialog manager shows a modal dialog normally the first time
// its queue is empty, which would restore the dialog the program maximized and
// leave its frame and a strip of desktop on the screen.
class KeepMaximized {
 public:
  KeepMaximized();
  ~KeepMaximized();
  KeepMaximized(const KeepMaximized&) = delete;
  KeepMaximized& operator=(const KeepMaximized&) = delete;

 private:
  HHOOK m_hook;
};

}  // namespace platform::win32
