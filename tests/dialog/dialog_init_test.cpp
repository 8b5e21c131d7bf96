// The dialog as it opens: where it sits, what it shows before Open image, the
// message map and how it ends. Its start-up texts and the stale-logo message are
// seen through the real program in tests/app/launcher_test.cpp.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "dialog/messages.h"
#include "tests/dialog/dialog_harness.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;

TEST(DialogInit, FillsTheScreenShowsIdentityAndPreviewsNothingBeforeOpenImage) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);  // logo.bmp is there, yet nothing is previewed
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    EXPECT_EQ(run.host().Widget().geometry(), QRect(0, 0, 800, 480));
    EXPECT_EQ(dialog.m_ctlModel.GetWindowText(), u"QX210");
    EXPECT_EQ(dialog.m_ctlVersion.GetWindowText(), u"V1.02");
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    run.Repaint();
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgOpenImagePrompt);
    EXPECT_EQ(dialog.m_ctlWidth.GetWindowText(), u"");
    EXPECT_EQ(run.Screen().pixel(300, 250), platform::DialogBackground().rgb());
  });
}

TEST(DialogInit, MissingSystemInfoShowsItsBoxOverTheShownDialog) {
  TempTerminal terminal;
  terminal.WriteText("registry.reg", "REGEDIT4\n");
  std::vector<bool> dialogVisible;
  platform::MessageBoxPresenter previous = platform::SetMessageBoxPresenter([&](const CString& text, unsigned) {
    EXPECT_EQ(text, u"system info file not found");
    bool visible = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) visible = visible || widget->isVisible();
    dialogVisible.push_back(visible);
    return IDOK;
  });
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun&) { EXPECT_EQ(dialog.m_ctlVersion.GetWindowText(), u"-"); });
  platform::SetMessageBoxPresenter(std::move(previous));
  EXPECT_EQ(dialogVisible, std::vector<bool>{true});
}

TEST(DialogMessageMap, FiveEntriesInOrderChainedToTheDialogBase) {
  CBrambleDlg dialog;
  const AFX_MSGMAP* map = static_cast<const CCmdTarget&>(dialog).GetMessageMap();
  struct Expected {
    UINT message, code, id;
  };
  const Expected expected[] = {{WM_COMMAND, BN_CLICKED, IDC_OPEN_IMAGE},
                               {WM_PAINT, 0, 0},
                               {WM_COMMAND, BN_CLICKED, IDC_CONVERT},
                               {WM_TIMER, 0, 0},
                               {WM_COMMAND, BN_CLICKED, IDC_RESET_LOGO}};
  int count = 0;
  for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfnHandler; ++entry, ++count) {
    ASSERT_LT(count, 5);
    EXPECT_EQ(std::tuple(entry->nMessage, entry->nCode, entry->nID),
              std::tuple(expected[count].message, expected[count].code, expected[count].id)) << count;
  }
  EXPECT_EQ(count, 5);
  // The base map handles OK and Cancel.
  const AFX_MSGMAP* base = map->pfnGetBaseMap();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(std::tuple(base->lpEntries[0].nID, base->lpEntries[1].nID), std::tuple(UINT{IDOK}, UINT{IDCANCEL}));
}

TEST(DialogEnd, EnterEscapeAndACloseRequestEndTheDialog) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  const std::pair<std::function<void(platform::QtDialogHost&)>, INT_PTR> cases[] = {
      {[](platform::QtDialogHost& host) { PressKey(host, Qt::Key_Return); }, IDOK},
      {[](platform::QtDialogHost& host) { PressKey(host, Qt::Key_Escape); }, IDCANCEL},
      {[](platform::QtDialogHost& host) { host.Widget().close(); }, IDCANCEL},
  };
  for (const auto& [act, result] : cases) {
    CBrambleDlg dialog;
    bool endedByAction = false;
    EXPECT_EQ(RunDialog(dialog, [&](DialogRun& run) { act(run.host()), endedByAction = run.host().Ended(); }), result);
    EXPECT_TRUE(endedByAction);
  }
}

}  // namespace
