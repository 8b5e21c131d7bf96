#pragma once
// Where the Windows host puts the terminal's dialog. The platform's dialog manager
// lays a template out in units of the dialog font, so its controls would sit
// where that font puts them; the terminal's screen puts each edge at the pixels
// the template's rule gives it. And the dialog, once maximized, covers the screen
// for as long as it runs.

#include <cstddef>
#include <span>

#include "platform/api/windows_api.h"

namespace platform::win32 {

// Moves each control of `dialog`, made from `dialogTemplate`, to the pixels of
// the edge-by-edge rule. A control whose identifier differs from its template
// item's (one the program made itself) stays where it is.
void PlaceControlsEdgeByEdge(HWND dialog, std::span<const std::byte> dialogTemplate);

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
