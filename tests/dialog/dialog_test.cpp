// The dialog as it opens and ends, and the application that runs it once.

#include <gtest/gtest.h>

#include "app/bramble_app.h"
#include "dialog/bramble_dlg.h"
#include "tests/support/dialog_run.h"
#include "tests/support/headless_host.h"
#include "tests/support/temp_terminal.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

RECT Pixels(const CDialog& dialog, int id) { return platform::window::FromHandle(dialog.GetDlgItem(id)->m_hWnd)->rect; }

TEST(DialogStart, FillsTheScreenWithItsIconShowsIdentityAndPreviewsNothingBeforeOpenImage) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);  // logo.bmp is there, yet nothing is previewed
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    const platform::window::Window& window = *platform::window::FromHandle(dialog.m_hWnd);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(std::tuple(window.rect.right, window.rect.bottom), std::tuple(800, 480));
    // The button edges of the terminal's screen: each edge of the template converts on its own.
    for (const auto& [id, top, bottom] : {std::tuple{1000, 13, 43}, {1001, 53, 83}, {1002, 95, 125}}) {
      const RECT button = Pixels(dialog, id);
      EXPECT_EQ(std::tuple(button.left, button.top, button.right, button.bottom), std::tuple(619, top, 768, bottom));
    }
    ASSERT_NE(window.bigIcon, nullptr);
    EXPECT_EQ(std::tuple(window.bigIcon, window.smallIcon), std::tuple(dialog.m_hIcon, dialog.m_hIcon));
    EXPECT_EQ(std::tuple(Text(dialog.m_ctlModel), Text(dialog.m_ctlVersion)), std::tuple(CString(u"QX210"), CString(u"V1.02")));
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    run.Repaint();
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kOpenImagePrompt);
    EXPECT_EQ(Text(dialog.m_ctlWidth), u"");
    EXPECT_EQ(run.Screen().At(300, 250), 0xFFECECECu);
  });
}

TEST(DialogStart, MissingSystemInfoShowsItsBoxOverTheShownDialog) {
  TempTerminal terminal;
  terminal.WriteText("registry.reg", "REGEDIT4\n");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun&) { EXPECT_EQ(Text(dialog.m_ctlVersion), u"-"); });
  ASSERT_EQ(terminal.host().boxes.size(), 1u);
  EXPECT_EQ(terminal.host().boxes[0].text, u"system info file not found");
  EXPECT_TRUE(terminal.host().boxes[0].overVisibleDialog);
}

TEST(DialogMessageMap, FiveEntriesInOrderChainedToTheDialogBase) {
  const CBrambleDlg dialog;
  const AFX_MSGMAP* map = static_cast<const CCmdTarget&>(dialog).GetMessageMap();
  using Entry = std::tuple<UINT, UINT, UINT>;
  std::vector<Entry> entries;
  for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfnHandler; ++entry) {
    entries.emplace_back(entry->nMessage, entry->nCode, entry->nID);
  }
  EXPECT_EQ(entries, (std::vector<Entry>{{0x0111, 0, 1000}, {0x000F, 0, 0}, {0x0111, 0, 1001}, {0x0113, 0, 0}, {0x0111, 0, 1002}}));
  // The base map handles OK and Cancel.
  const AFX_MSGMAP* base = map->pfnGetBaseMap();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(std::tuple(base->lpEntries[0].nID, base->lpEntries[1].nID), std::tuple(1u, 2u));
}

TEST(DialogEnd, EnterEscapeAndACloseRequestEndIt) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  const std::pair<UINT, WPARAM> keys[] = {{WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_ESCAPE}, {WM_CLOSE, 0}};
  const INT_PTR results[] = {IDOK, IDCANCEL, IDCANCEL};
  for (std::size_t i = 0; i < 3; ++i) {
    CBrambleDlg dialog;
    bool ended = false;
    const INT_PTR result = RunDialog(dialog, [&](DialogRun& run) {
      ::PostMessageW(dialog.m_hWnd, keys[i].first, keys[i].second, 0);
      run.Settle();
      ended = dialog.IsEnding();
    });
    EXPECT_EQ(result, results[i]) << i;
    EXPECT_TRUE(ended) << i;
  }
}

TEST(Application, RunsTheDialogOnceAndWritesNothingUnderItsKey) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const std::string registryBefore = ReadText(terminal / "registry.reg");
  CBrambleApp app;
  int runs = 0;
  bool wasMainWindow = false;
  platform::SetModalScript([&](CDialog& dialog) {
    ++runs;
    wasMainWindow = app.m_pMainWnd == &dialog;
    dialog.SendMessage(WM_COMMAND, IDCANCEL);
  });
  EXPECT_EQ(AfxWinMain("/usr/bin/bramble"), 0);
  EXPECT_EQ(std::tuple(runs, wasMainWindow), std::tuple(1, true));
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(app.m_strAppName, u"bramble");
  EXPECT_EQ(app.RegistryKey(), u"Local AppWizard-Generated Applications");
  EXPECT_EQ(ReadText(terminal / "registry.reg"), registryBefore);
}

}  // namespace
