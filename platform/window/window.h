#pragma once
// The window system where the operating system has none of its own: the window
// API of platform/api (dialogs from templates, messages, timers, painting,
// drawing) implemented without any toolkit, over the Linux host below, which
// shows the windows and brings in what the user does: the Qt host on a screen,
// the tests' headless host in a record.
//
// The rules are the platform's: posted messages come first, then WM_PAINT while
// a window has something to repaint, then WM_TIMER for a timer that is due; a
// dialog's default processing answers WM_CLOSE with IDCANCEL; Enter and Escape
// are the dialog's OK and Cancel commands.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/posix/posix_host.h"

struct HWND__ {};
struct HICON__ {};

namespace platform::window {

// What erasing a dialog's background paints.
inline constexpr std::uint32_t kDialogBackground = 0xFFECECEC;

using Clock = std::chrono::steady_clock;

// Pixels 0xFFRRGGBB, top row first.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  void Reset(int newWidth, int newHeight, std::uint32_t fill) {
    width = newWidth;
    height = newHeight;
    pixels.assign(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight), fill);
  }
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

enum class Kind { Dialog, Button, Edit, Static };

// An icon group as an .ico file, which the host's toolkit decodes.
struct Icon : HICON__ {
  std::vector<std::byte> file;
};

struct Timer {
  Clock::duration period;
  Clock::time_point due;
  TIMERPROC proc;
};

class Window : public HWND__ {
 public:
  Kind kind = Kind::Static;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  WString text;
  RECT rect{};  // pixels, in the client area of the parent (a dialog: of the screen)
  Window* parent = nullptr;
  std::vector<std::unique_ptr<Window>> children;  // a dialog's controls, in template order (= tab order)

  // Dialogs only.
  WString fontName;
  int fontPoints = 0;
  Surface surface;
  bool visible = false;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;

  // The window system's own.
  DLGPROC proc = nullptr;
  bool updatePending = false;
  bool erasePending = false;
  bool ended = false;
  INT_PTR result = 0;
  std::map<UINT_PTR, Timer> timers;
};

// The Linux host: the POSIX host's files, the program's resources and a screen.
class WindowHost : public PosixHost {
 public:
  virtual Clock::time_point Now() { return Clock::now(); }
  // Lets the toolkit run until it has brought in something for the program (a
  // click, a key, an uncovered window, typing) or `deadline` has come; without a
  // deadline, until something comes.
  virtual void Wait(std::optional<Clock::time_point> deadline) = 0;

  // What a screen shows; a host without one keeps its windows in memory alone.
  virtual void DialogCreated(Window& /*dialog*/) {}
  virtual void DialogDestroyed(Window& /*dialog*/) {}
  virtual void TextChanged(Window& /*window*/) {}
  virtual void Shown(Window& /*dialog*/) {}
  virtual void SurfaceChanged(Window& /*dialog*/) {}  // new pixels
  virtual void IconChanged(Window& /*dialog*/) {}
  virtual int ShowMessageBox(Window* /*owner*/, WStringView /*text*/, WStringView /*caption*/, UINT /*type*/) {
    return IDOK;
  }

  // The program's compiled resources (a .res file).
  std::span<const std::byte> resources;
};

// The installed host when it is one with windows.
WindowHost* CurrentWindowHost();

// The window behind a handle, or nullptr for one that is not (or no longer) a window.
Window* FromHandle(HWND window);

// The user typed into an edit box: its text changes without telling the host back.
void TextEditedByUser(HWND edit, WStringView text);

// Live drawing objects, so that a test can show that painting leaks nothing.
struct GdiCounts {
  int bitmaps = 0;
  int deviceContexts = 0;
  friend bool operator==(const GdiCounts&, const GdiCounts&) = default;
};
GdiCounts LiveGdiObjects();

}  // namespace platform::window
