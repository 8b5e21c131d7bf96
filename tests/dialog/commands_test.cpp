// The three buttons and the timed work, clicked as the buttons click. What the
// real program shows on a faulty terminal (refusing driver, full or removed card)
// is in tests/app/faults_test.cpp.

#include <gtest/gtest.h>

#include <functional>

#include "dialog/bramble_dlg.h"
#include "platform/sim/flash_driver.h"
#include "tests/support/dialog_run.h"
#include "tests/support/temp_terminal.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

TEST(DialogOpenImage, WithoutCardOrLogoBmpSaysSoAndKeepsTheImagePath) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);  // no card
    EXPECT_EQ(std::tuple(Text(dialog.m_ctlMessage), dialog.m_strImagePath), std::tuple(text::kNoLogoBmp, u""));
    WriteBitmap(terminal, BitmapLayout{});
    run.Click(IDC_OPEN_IMAGE);
    fs::remove(terminal / "SDMMC DISK/logo.bmp");
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kNoLogoBmp);
    EXPECT_EQ(dialog.m_strImagePath, u"\\SDMMC DISK\\logo.bmp");
  });
}

TEST(DialogConvert, TheConvertingTextShowsBeforeTheTimedWorkAndTwoClicksRunItOnce) {
  ReadyTerminal terminal;
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    // The click handler only arms the timer: the text is up before any work.
    run.Press(IDC_CONVERT);
    run.Press(IDC_CONVERT);  // a second click restarts the same timer
    EXPECT_EQ(std::tuple(Text(dialog.m_ctlMessage), fs::exists(terminal / "SDMMC DISK/logo.bin"), dialog.HasArmedTimers()),
              std::tuple(text::kConverting, false, true));
    run.Settle();  // the message it ends with is in the program's transcript (tests/app)
  });
  EXPECT_EQ(ReadLines(terminal / "flash/trace.log").size(), 3002u);  // 3000 sectors, the marker, the finish: once
}

// Nothing reaches the flash without an opened image, past a refusing pre-check or
// converter, or when the mark of a programming in progress cannot be written; a
// refusal before the timed work leaves no timer armed.
TEST(DialogCommands, WhatCannotBeConvertedOrMarkedNeverReachesTheFlash) {
  struct Case {
    const char* what;
    bool open;
    std::function<void(const TempTerminal&)> then;  // with the dialog up
    int button;
    bool timed;
    const char16_t* message;
  };
  const auto unmarkable = [](const TempTerminal& t) { fs::create_directory(t / "ResidentFlash/System/logo.pending"); };
  const Case cases[] = {
      {"no image opened", false, {}, IDC_CONVERT, false, text::kNoImage},
      {"640 x 480", true, [](const TempTerminal& t) { WriteBitmap(t, {640, 480, 24}); }, IDC_CONVERT, false, text::kCannotConvert},
      // Passes the pre-check, not the converter, with a logo.bin from an earlier run.
      {"no signature", true, [](const TempTerminal& t) {
         WriteBitmap(t, {.signature = false});
         t.WriteText("SDMMC DISK/logo.bin", std::string(1536000, 'x'));
       }, IDC_CONVERT, true, text::kCannotConvert},
      {"no mark, convert", true, unmarkable, IDC_CONVERT, true, text::kLogoChangeFailed},
      {"no mark, reset", false, unmarkable, IDC_RESET_LOGO, false, text::kDefaultRestoreFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadyTerminal terminal;
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      if (c.open) run.Click(IDC_OPEN_IMAGE);
      if (c.then) c.then(terminal);
      run.Press(c.button);
      EXPECT_EQ(dialog.HasArmedTimers(), c.timed);
      run.Settle();
      EXPECT_EQ(Text(dialog.m_ctlMessage), c.message);
    });
    EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
    EXPECT_TRUE(ReadLines(terminal / "flash/trace.log").empty());
  }
}

TEST(DialogReset, ListedModelsProgramTheDefaultLogoAndOtherModelsEmptyStartupRaw) {
  struct Case {
    const char* model;
    bool defaultBitmap;
    const char16_t* message;
    bool programmed;
    std::uintmax_t startupRawAfter;  // none: startup.raw is a folder, which nothing can write
  };
  const Case cases[] = {
      {"LM457", true, text::kDefaultRestored, true, 20},
      {"RVT08", false, text::kCannotReset, false, 20},
      {"qx210", true, text::kDefaultRestored, false, 0},  // differing only in case: another model
      {"ZZ100", true, text::kDefaultRestoreFailed, false, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    ReadyTerminal terminal(c.model);
    if (!c.defaultBitmap) fs::remove(terminal / "ResidentFlash/System/logo.bmp");
    if (c.startupRawAfter == 0xFFFF) fs::create_directory(terminal / "SDMMC DISK/startup.raw");
    else terminal.WriteText("SDMMC DISK/startup.raw", "an old startup image");
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_RESET_LOGO);
      EXPECT_EQ(Text(dialog.m_ctlMessage), c.message);
    });
    EXPECT_EQ(std::tuple(fs::exists(terminal / "ResidentFlash/System/logo.bin"),
                         platform::ReadAreaSector(terminal.root(), 1, 3000) == EndMarker()),
              std::tuple(c.programmed, c.programmed));
    if (c.startupRawAfter != 0xFFFF) {
      EXPECT_EQ(fs::file_size(terminal / "SDMMC DISK/startup.raw"), c.startupRawAfter);
    }
  }
}

TEST(DialogTimer, StartupImageTimerConvertsTheKeptBitmapAndOtherTimersDoNothing) {
  ReadyTerminal terminal("ZZ100");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun&) {
    WriteBitmap(terminal, {640, 480, 24}, "SDMMC DISK/small.bmp");
    ASSERT_FALSE(dialog.LoadAndCheckBitmap(u"\\SDMMC DISK\\small.bmp"));
    dialog.SendMessage(WM_TIMER, 20);  // the last pre-check failed: nothing to convert
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChangeFailed);
    ASSERT_TRUE(dialog.LoadAndCheckBitmap(u"\\SDMMC DISK\\logo.bmp"));
    dialog.SendMessage(WM_TIMER, 20);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChanged);
    EXPECT_EQ(fs::file_size(terminal / "SDMMC DISK/startup.raw"), 768000u);
    dialog.SendMessage(WM_TIMER, 99);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChanged);
  });
}

}  // namespace
