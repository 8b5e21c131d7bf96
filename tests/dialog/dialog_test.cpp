// The dialog as it opens and ends, and the application that runs it once.

#include <gtest/gtest.h>

#include "app/bramble_app.h"
#include "dialog/bramble_dlg.h"
#include "tests/support/dialog_run.h"
#include "tests/support/headless_host.h"
#include "tests/support/temp_terminal.h"

namespace {

using namespace bramble::test;

TEST(DialogStart, FillsTheScreenWithItsIconAndPreviewsNothingBeforeOpenImage) {
  ReadyTerminal terminal;  // logo.bmp is there, yet nothing is previewed
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    const platform::window::Window& window = *platform::window::FromHandle(dialog.m_hWnd);
    EXPECT_EQ(std::tuple(window.visible, window.rect.right, window.rect.bottom), std::tuple(true, 800, 480));
    // The button edges of the terminal's screen: each edge of the template converts on its own.
    for (const auto& [id, top, bottom] : {std::tuple{1000, 13, 43}, {1001, 53, 83}, {1002, 95, 125}}) {
      const RECT button = platform::window::FromHandle(dialog.GetDlgItem(id)->m_hWnd)->rect;
      EXPECT_EQ(std::tuple(button.left, button.top, button.right, button.bottom), std::tuple(619, top, 768, bottom));
    }
    ASSERT_NE(window.bigIcon, nullptr);
    EXPECT_EQ(std::tuple(window.bigIcon, window.smallIcon), std::tuple(dialog.m_hIcon, dialog.m_hIcon));
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    run.Repaint();
    EXPECT_EQ(run.Screen().At(300, 250), 0xFFECECECu);
  });
}

TEST(DialogStart, MissingSystemInfoShowsItsBoxOverTheShownDialog) {
  TempTerminal terminal;
  CBrambleDlg dialog;
  RunDialog(dialog, [](DialogRun&) {});
  ASSERT_EQ(terminal.host().boxes.size(), 1u);
  EXPECT_EQ(std::tuple(terminal.host().boxes[0].text, terminal.host().boxes[0].overVisibleDialog),
            std::tuple(u"system info file not found", true));
}

TEST(DialogEnd, EnterEscapeAndACloseRequestEndIt) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  const std::tuple<UINT, WPARAM, INT_PTR> cases[] = {
      {WM_KEYDOWN, VK_RETURN, IDOK}, {WM_KEYDOWN, VK_ESCAPE, IDCANCEL}, {WM_CLOSE, 0, IDCANCEL}};
  for (const auto& [message, key, result] : cases) {
    CBrambleDlg dialog;
    bool ended = false;
    const INT_PTR returned = RunDialog(dialog, [&, m = message, k = key](DialogRun& run) {
      ::PostMessageW(dialog.m_hWnd, m, k, 0);
      run.Settle();
      ended = dialog.IsEnding();
    });
    EXPECT_EQ(std::tuple(returned, ended), std::tuple(result, true)) << message << " " << key;
  }
}

TEST(Application, RunsTheDialogOnceAsItsMainWindow) {
  ReadyTerminal terminal;
  CBrambleApp app;
  int runs = 0;
  bool wasMainWindow = false;
  platform::CurrentHost().modalScript = [&](CDialog& dialog) {
    ++runs;
    wasMainWindow = app.m_pMainWnd == &dialog;
    dialog.SendMessage(WM_COMMAND, IDCANCEL);
  };
  EXPECT_EQ(AfxWinMain("/usr/bin/bramble"), 0);
  EXPECT_EQ(std::tuple(runs, wasMainWindow, app.m_pMainWnd, app.m_strAppName), std::tuple(1, true, nullptr, u"bramble"));
}

}  // namespace
