// The dialog as it opens and ends.

#include <gtest/gtest.h>

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
    // Where the controls land is measured in the pictures (tests/app/screenshots_test.cpp).
    EXPECT_EQ(std::tuple(window.visible, window.rect.right, window.rect.bottom), std::tuple(true, 800, 480));
    ASSERT_NE(window.bigIcon, nullptr);
    EXPECT_EQ(std::tuple(window.bigIcon, window.smallIcon), std::tuple(dialog.m_hIcon, dialog.m_hIcon));
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

}  // namespace
