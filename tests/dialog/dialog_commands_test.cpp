// The three buttons and the timed work, clicked as a user clicks them.

#include <gtest/gtest.h>

#include "dialog/messages.h"
#include "tests/dialog/dialog_harness.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

constexpr std::uintmax_t kSector = 512;

// Sector `sector` of area 1 as the driver left it.
std::vector<std::byte> AreaSector(const TempTerminal& terminal, std::uintmax_t sector) {
  const auto area = ReadFileBytes(terminal / "flash/area1.bin");
  if (area.size() < (sector + 1) * kSector) return {};
  return {area.begin() + static_cast<std::ptrdiff_t>(sector * kSector),
          area.begin() + static_cast<std::ptrdiff_t>((sector + 1) * kSector)};
}

bool IsEndMarker(const std::vector<std::byte>& sector) {
  if (sector.size() != kSector) return false;
  const std::byte logo[] = {std::byte{'L'}, std::byte{'O'}, std::byte{'G'}, std::byte{'O'}};
  if (!std::equal(logo, logo + 4, sector.begin())) return false;
  return std::all_of(sector.begin() + 4, sector.end(), [](std::byte b) { return b == std::byte{0xFF}; });
}

TEST(DialogOpenImage, WithoutCardOrLogoBmpSaysSoAndKeepsTheImagePath) {
  TempTerminal terminal;
  WriteIdentity(terminal, "QX210");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);  // no card
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgNoLogoBmp);
    EXPECT_TRUE(dialog.m_strImagePath.IsEmpty());
    WriteBitmap(terminal, BitmapLayout{});
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(dialog.m_strImagePath, u"\\SDMMC DISK\\logo.bmp");
    fs::remove(terminal / "SDMMC DISK/logo.bmp");
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgNoLogoBmp);
    EXPECT_EQ(dialog.m_strImagePath, u"\\SDMMC DISK\\logo.bmp");
  });
}

TEST(DialogConvert, ProgramsAreaOneAfterTheConvertingTextHasShown) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgUsable);
    // The click handler only arms the timer: the text is up before any work.
    run.host().Button(IDC_CONVERT)->click();
    run.host().Button(IDC_CONVERT)->click();  // a second click restarts the same timer
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgConverting);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    EXPECT_TRUE(run.host().HasArmedTimers());
    platform::PumpUntilIdle(run.host());
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgLogoChanged);
  });
  const auto logoBin = ReadFileBytes(terminal / "SDMMC DISK/logo.bin");
  const auto area = ReadFileBytes(terminal / "flash/area1.bin");
  ASSERT_EQ(logoBin.size(), 1536000u);
  ASSERT_GE(area.size(), logoBin.size());
  EXPECT_TRUE(std::equal(logoBin.begin(), logoBin.end(), area.begin()));
  EXPECT_TRUE(IsEndMarker(AreaSector(terminal, 3000)));
  EXPECT_EQ(CountLines(terminal / "flash/trace.log"), 3002);  // the work ran once

  // The next start takes logo.bin as the sign of the change and removes it.
  CBrambleDlg next;
  RunDialog(next, [&](DialogRun&) { EXPECT_EQ(next.m_ctlMessage.GetWindowText(), kMsgAlreadyApplied); });
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
}

TEST(DialogConvert, RefusesBeforeOpenAndOnBitmapsThatFailThePreCheck) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_CONVERT);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgNoImage);
    run.Click(IDC_OPEN_IMAGE);
    for (const BitmapLayout& layout : {BitmapLayout{640, 480, 24}, BitmapLayout{800, 480, 8}}) {
      WriteBitmap(terminal, layout);
      run.host().Button(IDC_CONVERT)->click();
      EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgCannotConvert);
      EXPECT_FALSE(run.host().HasArmedTimers());
    }
    fs::remove(terminal / "SDMMC DISK/logo.bmp");  // the card's file went away
    run.Click(IDC_CONVERT);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgCannotConvert);
  });
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
}

TEST(DialogConvert, AFailedConversionNeverProgramsAnOlderLogoBin) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  BitmapLayout noSignature;
  noSignature.signature = false;  // passes the pre-check, not the converter
  WriteBitmap(terminal, noSignature);
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_OPEN_IMAGE);
    terminal.WriteText("SDMMC DISK/logo.bin", std::string(1536000, 'x'));  // from an earlier run
    run.Click(IDC_CONVERT);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgLogoChangeFailed);
  });
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
  EXPECT_EQ(CountLines(terminal / "flash/trace.log"), 0);
}

TEST(DialogConvert, AFailedProgrammingIsReportedAndNotTakenForAChangeAtTheNextStart) {
  for (const bool driverPresent : {true, false}) {
    TempTerminal terminal;
    MakeReadyTerminal(terminal);
    if (driverPresent) {
      terminal.WriteText("flash/faults", "# a worn block\n1 1500\n");
    } else {
      fs::remove_all(terminal / "flash");
    }
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_OPEN_IMAGE);
      run.Click(IDC_CONVERT);
      EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgLogoChangeFailed);
    });
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    if (driverPresent) {
      EXPECT_FALSE(IsEndMarker(AreaSector(terminal, 3000)));
    }
    CBrambleDlg next;
    RunDialog(next, [&](DialogRun&) { EXPECT_EQ(next.m_ctlMessage.GetWindowText(), kMsgOpenImagePrompt); });
  }
}

TEST(DialogReset, ListedModelProgramsTheDefaultLogo) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal, "LM457");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_RESET_LOGO);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgDefaultRestored);
  });
  EXPECT_EQ(fs::file_size(terminal / "ResidentFlash/System/logo.bin"), 1536000u);
  EXPECT_TRUE(IsEndMarker(AreaSector(terminal, 3000)));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/startup.raw"));
}

TEST(DialogReset, ListedModelWithoutDefaultBitmapCannotReset) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal, "RVT08");
  fs::remove(terminal / "ResidentFlash/System/logo.bmp");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_RESET_LOGO);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgCannotReset);
  });
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
}

TEST(DialogReset, OtherModelsEmptyStartupRawOnTheCard) {
  // A name differing only in case, and no name at all, are other models.
  for (const char* model : {"qx210", ""}) {
    TempTerminal terminal;
    MakeReadyTerminal(terminal, model);
    terminal.WriteText("SDMMC DISK/startup.raw", "an old startup image");
    CBrambleDlg dialog;
    RunDialog(dialog, [&](DialogRun& run) {
      run.Click(IDC_RESET_LOGO);
      EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgDefaultRestored);
    });
    EXPECT_EQ(fs::file_size(terminal / "SDMMC DISK/startup.raw"), 0u) << model;
    EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
  }
}

TEST(DialogReset, OtherModelWithoutCardOrWithAnUnwritableOneSaysSo) {
  TempTerminal terminal;
  WriteIdentity(terminal, "ZZ100");
  CBrambleDlg dialog;
  RunDialog(dialog, [&](DialogRun& run) {
    run.Click(IDC_RESET_LOGO);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgNoSdCard);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK"));
    // A startup.raw that cannot be created: the name is taken by a folder.
    fs::create_directories(terminal / "SDMMC DISK/startup.raw");
    run.Click(IDC_RESET_LOGO);
    EXPECT_EQ(dialog.m_ctlMessage.GetWindowText(), kMsgDefaultRestoreFailed);
  });
}

}  // namespace
