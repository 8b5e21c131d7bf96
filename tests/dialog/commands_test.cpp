// The three buttons and the timed work, clicked as the buttons click. What the
// real program shows on a faulty terminal (refusing or missing driver, full,
// write-protected or removed card) is in tests/app/faults_test.cpp.

#include <gtest/gtest.h>

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
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kNoLogoBmp);
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    WriteBitmap(terminal, BitmapLayout{});
    run.Click(IDC_OPEN_IMAGE);
    fs::remove(terminal / "SDMMC DISK/logo.bmp");
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kNoLogoBmp);
    EXPECT_EQ(dialog.m_strImagePath, u"\\SDMMC DISK\\logo.bmp");
  });
}

TEST(DialogConvert, TheConvertingTextShowsBeforeTheTimedWorkAndTwoClicksRunItOnce) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    // The click handler only arms the timer: the text is up before any work.
    run.Press(IDC_CONVERT);
    run.Press(IDC_CONVERT);  // a second click restarts the same timer
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kConverting);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    EXPECT_TRUE(dialog.HasArmedTimers());
    run.Settle();
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChanged);
  });
  EXPECT_EQ(ReadLines(terminal / "flash/trace.log").size(), 3002u);  // 3000 sectors, the marker, the finish: once
}

TEST(DialogConvert, RefusesBeforeOpenAndOnBitmapsThatFailThePreCheckWithoutArmingTheTimer) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_CONVERT);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kNoImage);
    run.Click(IDC_OPEN_IMAGE);
    for (const BitmapLayout& layout : {BitmapLayout{640, 480, 24}, BitmapLayout{800, 480, 8}}) {
      WriteBitmap(terminal, layout);
      run.Press(IDC_CONVERT);
      EXPECT_EQ(Text(dialog.m_ctlMessage), text::kCannotConvert);
      EXPECT_FALSE(dialog.HasArmedTimers());
    }
  });
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
}

TEST(DialogConvert, AFailedConversionNeverProgramsAnOlderLogoBin) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  WriteBitmap(terminal, {.signature = false});  // passes the pre-check, not the converter
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    terminal.WriteText("SDMMC DISK/logo.bin", std::string(1536000, 'x'));  // from an earlier run
    run.Click(IDC_CONVERT);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChangeFailed);
  });
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
  EXPECT_TRUE(ReadLines(terminal / "flash/trace.log").empty());
}

TEST(DialogProgramming, AMarkThatCannotBeWrittenStopsConvertAndResetBeforeAnyRequest) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    fs::create_directory(terminal / "ResidentFlash/System/logo.pending");  // nothing can be written there
    run.Click(IDC_OPEN_IMAGE);
    run.Click(IDC_CONVERT);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kLogoChangeFailed);
    run.Click(IDC_RESET_LOGO);
    EXPECT_EQ(Text(dialog.m_ctlMessage), text::kDefaultRestoreFailed);
  });
  EXPECT_TRUE(ReadLines(terminal / "flash/trace.log").empty());
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
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
      {"", true, text::kDefaultRestored, false, 0},
      {"ZZ100", true, text::kDefaultRestoreFailed, false, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    TempTerminal terminal;
    MakeReadyTerminal(terminal, c.model);
    if (!c.defaultBitmap) fs::remove(terminal / "ResidentFlash/System/logo.bmp");
    if (c.startupRawAfter == 0xFFFF) fs::create_directory(terminal / "SDMMC DISK/startup.raw");
    else terminal.WriteText("SDMMC DISK/startup.raw", "an old startup image");
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_RESET_LOGO);
      EXPECT_EQ(Text(dialog.m_ctlMessage), c.message);
    });
    EXPECT_EQ(fs::exists(terminal / "ResidentFlash/System/logo.bin"), c.programmed);
    EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000) == EndMarker(), c.programmed);
    if (c.startupRawAfter != 0xFFFF) {
      EXPECT_EQ(fs::file_size(terminal / "SDMMC DISK/startup.raw"), c.startupRawAfter);
    }
  }
}

TEST(DialogTimer, StartupImageTimerConvertsTheKeptBitmapAndOtherTimersDoNothing) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal, "ZZ100");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun&) {
    dialog.SendMessage(WM_TIMER, 20);  // no pre-check has passed: nothing to convert
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
