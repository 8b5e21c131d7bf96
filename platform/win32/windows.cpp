// The Windows host's windows: placed, kept maximized, brought to the front.

#include "platform/win32/win32_host.h"

#include "platform/formats/dialog_template.h"

namespace platform::win32 {
namespace {

// Hooks see every window of the thread; only a maximized one is kept so, and only
// against what would make it smaller.
LRESULT CALLBACK RefuseLeavingMaximized(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_MINMAX) {
    const auto window = reinterpret_cast<HWND>(wParam);
    const int command = LOWORD(lParam);
    if (::IsZoomed(window) && command != SW_MAXIMIZE && command != SW_SHOWMAXIMIZED) return 1;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK ShowIfOwned(HWND window, LPARAM processId) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != static_cast<DWORD>(processId) || !::IsWindowVisible(window)) return TRUE;
  ::SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

void Win32Host::PlaceControls(HWND dialog, std::span<const std::byte> dialogTemplate) {
  const std::optional<DialogTemplate> layout = ParseDialogTemplate(dialogTemplate);
  if (!layout) return;
  // The dialog manager makes the controls in template order, each below the one
  // before: the order of the dialog's children.
  HWND control = ::GetWindow(dialog, GW_CHILD);
  for (const DialogItem& item : layout->items) {
    if (!control) break;
    if (::GetDlgCtrlID(control) == static_cast<WORD>(item.id)) {
      const RECT at = ItemRectOnScreen(*layout, item);
      ::SetWindowPos(control, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
}

void Win32Host::ShowRunningProgram(unsigned long processId) {
  ::EnumWindows(ShowIfOwned, static_cast<LPARAM>(processId));
}

KeepMaximized::KeepMaximized()
    : m_hook(::SetWindowsHookExW(WH_CBT, RefuseLeavingMaximized, nullptr, ::GetCurrentThreadId())) {}

KeepMaximized::~KeepMaximized() {
  if (m_hook) ::UnhookWindowsHookEx(m_hook);
}

}  // namespace platform::win32
