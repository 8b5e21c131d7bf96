// The dialog in a real window of an X display: what only a window system shows.
// Run under a virtual display (xvfb-run).

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "dialog/bramble_dlg.h"
#include "platform/qt/qt_host.h"
#include "tests/support/dialog_run.h"
#include "tests/support/temp_terminal.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;

// Lets the display and the dialog catch up until `done` or a few seconds pass.
bool Until(platform::qt::QtHost& host, DialogRun& run, const std::function<bool()>& done) {
  for (int i = 0; i < 250 && !done(); ++i) {
    host.Wait(host.Now() + std::chrono::milliseconds(20));
    run.Settle();
  }
  return done();
}

TEST(QtHost, AnUncoveredDialogRepaintsAndTheVerdictComesBack) {
  platform::qt::QtHost host;
  ReadyTerminal terminal("ZZ100", &host);  // not listed: Reset logo only empties startup.raw
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kUsable);
    run.Click(IDC_RESET_LOGO);
    ASSERT_EQ(Text(dialog.m_ctlMessage), text::kDefaultRestored);

    QWidget cover(nullptr, Qt::Window | Qt::FramelessWindowHint);
    cover.setGeometry(0, 0, 800, 480);
    cover.show();
    ASSERT_TRUE(Until(host, run, [&] { return cover.isVisible(); }));
    for (int i = 0; i < 10; ++i) host.Wait(host.Now() + std::chrono::milliseconds(20));
    cover.hide();
    EXPECT_TRUE(Until(host, run, [&] { return Text(dialog.m_ctlMessage) == text::kUsable; }))
        << "the message line still says: " << Text(dialog.m_ctlMessage).ToUtf8();
  });
}

TEST(QtHost, AMessageBoxOverTheDialogSpeaksInTheDialogsFont) {
  platform::qt::QtHost host;
  TempTerminal terminal(&host);
  WriteIdentity(terminal, "QX210");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun&) {
    QFont shown;
    QTimer::singleShot(0, [&shown] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        shown = box->font();
        box->close();
      }
    });
    ::MessageBoxW(dialog.m_hWnd, text::kCannotReset, u"", MB_OK);
    EXPECT_EQ(std::tuple(shown.family().toStdString(), shown.pixelSize()), std::tuple("NanumGothic", 12));
  });
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);  // a window of the display, whatever the caller set
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
