// The dialog as it opens: identity, the stale-logo trace, the message map and
// how it ends.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "dialog/messages.h"
#include "platform/debug.h"
#include "tests/dialog/dialog_harness.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;

TEST(DialogInit, ShowsModelAndVersionAndKeepsTheTemplateText) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210", "V1.02");
  terminal.MakeCard();
  WriteBitmap(terminal, BitmapLayout{});
  platform::ScopedDebugCapture debug;
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    EXPECT_EQ(dialog.m_ctlModel.GetWindowText(), u"QX210");
    EXPECT_EQ(dialog.m_ctlVersion.GetWindowText(), u"V1.02");
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgOpenImagePrompt);
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    // Nothing is previewed until Open image, though logo.bmp is there.
    EXPECT_EQ(dialog.m_ctlWidth.GetWindowText(), u"");
    EXPECT_EQ(run.host().Widget().geometry(), QRect(0, 0, 800, 480));
  });
  EXPECT_NE(debug.text().find(u"CheckLimitedFunction()] - QX210"), std::u16string::npos);
}

TEST(DialogInit, StaleLogoBinIsReportedOnceAndRemoved) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  terminal.WriteText("SDMMC DISK/logo.bin", "old logo");
  WriteBitmap(terminal, BitmapLayout{});
  {
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun&) {
      EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgAlreadyApplied);
      EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    });
  }
  EXPECT_FALSE(std::filesystem::exists(terminal / "SDMMC DISK/logo.bin"));
  EXPECT_TRUE(std::filesystem::exists(terminal / "SDMMC DISK/logo.bmp"));
  CBrambleDlg next;
  RunDialog(next, [&](DialogRun&) { EXPECT_EQ(next.m_ctlMessage.GetWindowText(), kMsgOpenImagePrompt); });
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
  RunDialog(dialog, [&](DialogRun&) {
    EXPECT_EQ(dialog.m_ctlVersion.GetWindowText(), u"-");
    EXPECT_EQ(dialog.m_ctlModel.GetWindowText(), u"");
  });
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
    EXPECT_EQ(entry->nMessage, expected[count].message);
    EXPECT_EQ(entry->nCode, expected[count].code);
    EXPECT_EQ(entry->nID, expected[count].id);
  }
  EXPECT_EQ(count, 5);
  // The base map handles OK and Cancel.
  const AFX_MSGMAP* base = map->pfnGetBaseMap();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->lpEntries[0].nID, static_cast<UINT>(IDOK));
  EXPECT_EQ(base->lpEntries[1].nID, static_cast<UINT>(IDCANCEL));
}

TEST(DialogEnd, EnterEscapeAndACloseRequestEndTheDialog) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  struct Case {
    std::function<void(platform::QtDialogHost&)> act;
    INT_PTR result;
  };
  const Case cases[] = {
      {[](platform::QtDialogHost& host) { PressKey(host, Qt::Key_Return); }, IDOK},
      {[](platform::QtDialogHost& host) { PressKey(host, Qt::Key_Escape); }, IDCANCEL},
      {[](platform::QtDialogHost& host) { host.Widget().close(); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    CBrambleDlg dialog;
    bool endedByAction = false;
    EXPECT_EQ(RunDialog(dialog,
                        [&](DialogRun& run) {
                          c.act(run.host());
                          endedByAction = run.host().Ended();
                        }),
              c.result);
    EXPECT_TRUE(endedByAction);
  }
}

}  // namespace
