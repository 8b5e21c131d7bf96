#pragma once
// Runs a CBrambleDlg off screen with a test body in place of the user.

#include <QImage>
#include <QPushButton>

#include <functional>

#include "dialog/bramble_dlg.h"
#include "platform/qt/dialog_host.h"
#include "platform/qt/play.h"

namespace bramble::test {

using platform::PressKey;

class DialogRun {
 public:
  explicit DialogRun(platform::QtDialogHost& host) : m_host(host) {}
  void Click(int id) {
    m_host.Button(id)->click();
    platform::PumpUntilIdle(m_host);
  }
  void Repaint() {
    m_host.Dialog().InvalidateRect(nullptr, TRUE);
    platform::PumpUntilIdle(m_host);
  }
  QImage Screen() { return m_host.Widget().grab().toImage(); }
  platform::QtDialogHost& host() { return m_host; }

 private:
  platform::QtDialogHost& m_host;
};

// DoModal with `body` run once the dialog has initialised and painted; the
// dialog then ends as on Escape.
inline INT_PTR RunDialog(CBrambleDlg& dialog, const std::function<void(DialogRun&)>& body) {
  platform::ModalRunner previous = platform::SetModalRunner([&](CDialog&, platform::DialogHost& host) {
    auto& qtHost = static_cast<platform::QtDialogHost&>(host);
    platform::PumpUntilIdle(qtHost);
    DialogRun run(qtHost);
    body(run);
    if (!qtHost.Ended()) qtHost.SendCommand(IDCANCEL);
  });
  const INT_PTR result = dialog.DoModal();
  platform::SetModalRunner(std::move(previous));
  return result;
}

}  // namespace bramble::test
