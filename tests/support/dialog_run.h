#pragma once
// Runs a dialog on the headless host with a test body in the user's place: the
// body runs inside the dialog's own message loop, once it has initialised and
// painted, and clicks as the buttons do.

#include <gtest/gtest.h>

#include <functional>

#include "platform/framework/afxwin.h"
#include "platform/window/window.h"

namespace bramble::test {

inline CString Text(const CWnd& window) {
  CString text;
  window.GetWindowText(text);
  return text;
}

class DialogRun {
 public:
  explicit DialogRun(CDialog& dialog) : m_dialog(dialog) {}

  // A click is handled at once; what it sets in motion runs when the test settles.
  void Press(int id) {
    m_dialog.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                         reinterpret_cast<LPARAM>(::GetDlgItem(m_dialog.m_hWnd, id)));
  }
  void Settle() { ASSERT_TRUE(platform::PumpUntilIdle(m_dialog)); }
  void Click(int id) { Press(id); Settle(); }
  // As when a window that covered the dialog goes away.
  void Repaint() { m_dialog.InvalidateRect(nullptr, TRUE); Settle(); }
  const platform::window::Surface& Screen() const { return platform::window::FromHandle(m_dialog.m_hWnd)->surface; }

 private:
  CDialog& m_dialog;
};

// DoModal with `body` in the user's place; the dialog then ends as on Escape.
inline INT_PTR RunDialog(CDialog& dialog, const std::function<void(DialogRun&)>& body) {
  platform::CurrentHost().modalScript = [&body](CDialog& running) {
    DialogRun run(running);
    run.Settle();
    body(run);
    if (!running.IsEnding()) running.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  };
  return dialog.DoModal();
}

}  // namespace bramble::test
