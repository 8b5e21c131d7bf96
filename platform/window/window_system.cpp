// Windows, dialogs and their messages, without any toolkit: the host shows them.

#include <algorithm>
#include <cstdio>
#include <deque>
#include <thread>
#include <utility>

#include "platform/formats/dialog_template.h"
#include "platform/window/resources.h"
#include "platform/window/window.h"

namespace platform::window {
namespace {

// The dialogs that are running, innermost last, and the messages posted to them.
std::vector<std::unique_ptr<Window>>& Dialogs() {
  static std::vector<std::unique_ptr<Window>> dialogs;
  return dialogs;
}
std::deque<MSG>& PostedMessages() {
  static std::deque<MSG> messages;
  return messages;
}

Clock::time_point Now() {
  WindowHost* host = CurrentWindowHost();
  return host ? host->Now() : Clock::now();
}

Kind KindOf(const NameOrNumber& windowClass) {
  if (windowClass.number == kButtonClass) return Kind::Button;
  if (windowClass.number == kEditClass) return Kind::Edit;
  return Kind::Static;
}

std::unique_ptr<Window> CreateDialogWindow(const DialogTemplate& resource) {
  auto dialog = std::make_unique<Window>();
  dialog->kind = Kind::Dialog;
  dialog->style = resource.style;
  dialog->exStyle = resource.exStyle;
  dialog->text = resource.title;
  dialog->fontName = resource.fontName;
  dialog->fontPoints = resource.fontPoints;
  dialog->rect = {0, 0, kScreenWidth, kScreenHeight};
  dialog->surface.Reset(kScreenWidth, kScreenHeight, kDialogBackground);
  for (const DialogItem& item : resource.items) {
    auto control = std::make_unique<Window>();
    control->kind = KindOf(item.windowClass);
    control->id = item.id;
    control->style = item.style;
    control->exStyle = item.exStyle;
    control->text = item.title.text;
    control->rect = ItemRectOnScreen(resource, item);
    control->parent = dialog.get();
    dialog->children.push_back(std::move(control));
  }
  return dialog;
}

Window* DialogOf(Window* window) { return window && window->parent ? window->parent : window; }

// The dialog manager's default processing of a message the dialog did not handle.
LRESULT DefaultDialogProcessing(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      return SendMessageW(&dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(&dialog, &paint);
      EndPaint(&dialog, &paint);
      return 0;
    }
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? dialog.bigIcon : dialog.smallIcon;
      const HICON previous = std::exchange(slot, reinterpret_cast<HICON>(lParam));
      if (WindowHost* host = CurrentWindowHost()) host->IconChanged(dialog);
      return reinterpret_cast<LRESULT>(previous);
    }
    default:
      return 0;
  }
}

// The next message for the running dialogs, in the platform's order.
bool NextMessage(MSG& message, bool remove) {
  auto& posted = PostedMessages();
  if (!posted.empty()) {
    message = posted.front();
    if (remove) posted.pop_front();
    return true;
  }
  for (const auto& dialog : Dialogs()) {
    if (dialog->updatePending) {
      message = MSG{dialog.get(), WM_PAINT, 0, 0, 0, {}};  // stays until the window is painted
      return true;
    }
  }
  const Clock::time_point now = Now();
  for (const auto& dialog : Dialogs()) {
    for (auto& [id, timer] : dialog->timers) {
      if (timer.due > now) continue;
      message = MSG{dialog.get(), WM_TIMER, id, reinterpret_cast<LPARAM>(timer.proc), 0, {}};
      if (remove) timer.due = now + timer.period;
      return true;
    }
  }
  return false;
}

std::optional<Clock::time_point> NextTimerDue() {
  std::optional<Clock::time_point> next;
  for (const auto& dialog : Dialogs()) {
    for (const auto& [id, timer] : dialog->timers) {
      if (!next || timer.due < *next) next = timer.due;
    }
  }
  return next;
}

}  // namespace

WindowHost* CurrentWindowHost() { return dynamic_cast<WindowHost*>(&CurrentHost()); }

Window* FromHandle(HWND handle) {
  if (!handle) return nullptr;
  for (const auto& dialog : Dialogs()) {
    if (dialog.get() == handle) return dialog.get();
    for (const auto& control : dialog->children) {
      if (control.get() == handle) return control.get();
    }
  }
  return nullptr;
}

void TextEditedByUser(HWND edit, WStringView text) {
  if (Window* window = FromHandle(edit)) window->text = text;
}

}  // namespace platform::window

using namespace platform;
using namespace platform::window;

INT_PTR DialogBoxIndirectParamW(HINSTANCE /*instance*/, LPCDLGTEMPLATEW dialogTemplate, HWND /*parent*/,
                                DLGPROC dialogProc, LPARAM initParam) {
  WindowHost* host = CurrentWindowHost();
  const auto resource = ParseDialogTemplate(ResourceBytesFrom(dialogTemplate));
  // Without a host nothing could be shown and no user could end the dialog.
  if (!host || !resource || !dialogProc) return -1;

  Dialogs().push_back(CreateDialogWindow(*resource));
  Window& dialog = *Dialogs().back();
  dialog.proc = dialogProc;
  host->DialogCreated(dialog);
  dialogProc(&dialog, WM_INITDIALOG, 0, initParam);
  if ((dialog.style & WS_VISIBLE) && !dialog.visible) ShowWindow(&dialog, SW_SHOW);

  while (!dialog.ended) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageW(&dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
  }

  host->DialogDestroyed(dialog);
  const INT_PTR result = dialog.result;
  std::erase_if(PostedMessages(), [&](const MSG& message) { return DialogOf(FromHandle(message.hwnd)) == &dialog; });
  std::erase_if(Dialogs(), [&](const auto& entry) { return entry.get() == &dialog; });
  return result;
}

BOOL EndDialog(HWND window, INT_PTR result) {
  Window* dialog = FromHandle(window);
  if (!dialog || dialog->kind != Kind::Dialog) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND window, int id) {
  Window* dialog = FromHandle(window);
  if (!dialog) return nullptr;
  for (const auto& control : dialog->children) {
    if (control->id == id) return control.get();
  }
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  const Window* found = FromHandle(window);
  return found ? found->id : 0;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  Window* found = FromHandle(window);
  if (!found) return FALSE;
  found->text = text ? text : _T("");
  if (WindowHost* host = CurrentWindowHost()) host->TextChanged(*found);
  return TRUE;
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
  const Window* found = FromHandle(window);
  if (!found || !text || maxCount <= 0) return 0;
  const auto count = std::min<std::size_t>(found->text.size(), static_cast<std::size_t>(maxCount - 1));
  std::copy_n(found->text.begin(), count, text);
  text[count] = 0;
  return static_cast<int>(count);
}

int GetWindowTextLengthW(HWND window) {
  const Window* found = FromHandle(window);
  return found ? static_cast<int>(found->text.size()) : 0;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* target = FromHandle(window);
  if (!target) return 0;
  if (target->kind != Kind::Dialog) return 0;  // the controls need no message of the program's
  if (target->proc && target->proc(target, message, wParam, lParam)) return 0;
  return DefaultDialogProcessing(*target, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!FromHandle(window)) return FALSE;
  PostedMessages().push_back(MSG{window, message, wParam, lParam, 0, {}});
  return TRUE;
}

BOOL PeekMessageW(MSG* message, HWND /*window*/, UINT /*filterMin*/, UINT /*filterMax*/, UINT removeMessage) {
  if (!message) return FALSE;
  // What the user did since the last look comes in first.
  if (WindowHost* host = CurrentWindowHost()) host->Wait(host->Now());
  return NextMessage(*message, (removeMessage & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL IsDialogMessageW(HWND dialog, MSG* message) {
  Window* target = message ? DialogOf(FromHandle(message->hwnd)) : nullptr;
  if (!target || target != FromHandle(dialog) || message->message != WM_KEYDOWN) return FALSE;
  if (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE) {
    const WORD command = message->wParam == VK_RETURN ? IDOK : IDCANCEL;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
  }
  return TRUE;  // every key goes to the dialog's own keyboard handling
}

BOOL TranslateMessage(const MSG* /*message*/) { return FALSE; }

LRESULT DispatchMessageW(const MSG* message) {
  if (!message) return 0;
  if (message->message == WM_TIMER && message->lParam != 0) {
    reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam, 0);
    return 0;
  }
  return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}

DWORD MsgWaitForMultipleObjects(DWORD /*count*/, const HANDLE* /*handles*/, BOOL /*waitAll*/, DWORD milliseconds,
                                DWORD /*wakeMask*/) {
  MSG next;
  if (NextMessage(next, false)) return WAIT_OBJECT_0;
  std::optional<Clock::time_point> deadline = NextTimerDue();
  if (milliseconds != INFINITE) {
    const Clock::time_point limit = Now() + std::chrono::milliseconds(milliseconds);
    deadline = deadline ? std::min(*deadline, limit) : limit;
  }
  if (WindowHost* host = CurrentWindowHost()) {
    host->Wait(deadline);
  } else if (deadline) {
    std::this_thread::sleep_until(*deadline);
  }
  return NextMessage(next, false) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL ShowWindow(HWND window, int command) {
  Window* dialog = FromHandle(window);
  if (!dialog || dialog->kind != Kind::Dialog) return FALSE;
  const bool wasVisible = std::exchange(dialog->visible, command != SW_HIDE);
  if (WindowHost* host = CurrentWindowHost()) host->Shown(*dialog);
  // A window that appears is painted whole.
  if (!wasVisible && dialog->visible) InvalidateRect(window, nullptr, TRUE);
  return wasVisible ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND window, const RECT* /*rect*/, BOOL erase) {
  // The whole dialog is repainted whatever the rectangle: the dialog only ever
  // invalidates all of itself, and an uncovered window is repainted whole.
  Window* dialog = DialogOf(FromHandle(window));
  if (!dialog) return FALSE;
  dialog->updatePending = true;
  dialog->erasePending = dialog->erasePending || erase != FALSE;
  return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  Window* dialog = FromHandle(window);
  if (!dialog || dialog->kind != Kind::Dialog || id == 0) return 0;
  // The platform's shortest period; setting an armed timer again restarts it.
  const auto period = std::chrono::milliseconds(std::max<UINT>(elapse, 10));
  dialog->timers[id] = Timer{period, Now() + period, timerProc};
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Window* dialog = FromHandle(window);
  return dialog && dialog->timers.erase(id) != 0 ? TRUE : FALSE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  WindowHost* host = CurrentWindowHost();
  if (!host) {
    std::fprintf(stderr, "[message box] %s\n", ToUtf8(text ? text : _T("")).c_str());
    return IDOK;
  }
  return host->ShowMessageBox(FromHandle(owner), text ? text : _T(""), caption ? caption : _T(""), type);
}
