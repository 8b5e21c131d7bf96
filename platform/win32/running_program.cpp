#include "platform/win32/running_program.h"

#include <windows.h>

namespace platform::win32 {
namespace {

BOOL CALLBACK ShowIfOwned(HWND window, LPARAM processId) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != static_cast<DWORD>(processId) || !::IsWindowVisible(window)) return TRUE;
  ::SetForegroundWindow(window);
  return FALSE;
}

}  // namespace

void ShowRunningProgram(unsigned long processId) {
  ::EnumWindows(ShowIfOwned, static_cast<LPARAM>(processId));
}

}  // namespace platform::win32
