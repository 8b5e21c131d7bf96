// The program as a user or a script starts it: bramble --play on terminal folders.

#include <gtest/gtest.h>

#include "platform/sim/flash_driver.h"
#include "tests/support/play_run.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace text = bramble::test::text;
namespace fs = std::filesystem;

TEST(Launcher, OpenAndConvertProgramAreaOneAndTheNextStartTakesLogoBinAsTheSignOfTheChange) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const PlayResult run = Play(terminal, "open,convert,repaint");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string numbers = "\nmodel: QX210\nversion: V1.02\nwidth: 800\nheight: 480\nbitcount: 24\n";
  EXPECT_EQ(run.transcript, "[0 start]\nmessage: " + Escaped(text::kOpenImagePrompt) +
                                "\nmodel: QX210\nversion: V1.02\nwidth: \nheight: \nbitcount: \n"
                                "[1 open]\nmessage: " + Escaped(text::kUsable) + numbers +
                                "[2 convert]\nmessage: " + Escaped(text::kLogoChanged) + numbers +
                                "[3 repaint]\nmessage: " + Escaped(text::kUsable) + numbers);
  for (const char* png : {"00-start.png", "01-open.png", "02-convert.png", "03-repaint.png"}) {
    EXPECT_GT(fs::file_size(run.out / png), 1000u) << png;
  }
  const auto logoBin = ReadFileBytes(terminal / "SDMMC DISK/logo.bin");
  const auto area = ReadFileBytes(terminal / "flash/area1.bin");
  ASSERT_EQ(std::tuple(logoBin.size(), area.size()), std::tuple(1536000u, 3001u * 512u));
  EXPECT_TRUE(std::equal(logoBin.begin(), logoBin.end(), area.begin()));
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000), EndMarker());
  const auto trace = ReadLines(terminal / "flash/trace.log");
  ASSERT_EQ(trace.size(), 3002u);
  for (std::size_t s = 0; s <= 3000; ++s) {
    ASSERT_EQ(trace[s], "WRITE_SECTOR area=1 sector=" + std::to_string(s) + " count=1 in=16 out=4 ok");
  }
  EXPECT_EQ(trace.back(), "WRITE_FINISH in=0 out=0 ok");

  // logo.bin is reported once, removed, and logo.bmp stays.
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kAlreadyApplied));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
  EXPECT_TRUE(fs::exists(terminal / "SDMMC DISK/logo.bmp"));
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kOpenImagePrompt));
}

TEST(Launcher, BoxesAreRecordedInTheirStepAndBackslashesEscaped) {
  TempTerminal terminal;
  terminal.WriteText("registry.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\n\"ModelName\"=\"A\\\\B\"\n");
  const PlayResult run = Play(terminal, "");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.transcript.find("[0 start]\nbox: system info file not found\nmessage: "), std::string::npos);
  EXPECT_NE(run.transcript.find("\nmodel: A\\\\B\nversion: -\n"), std::string::npos);
}

TEST(Launcher, EnterEndsTheDialogAndLaterStepsAreNotRun) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const PlayResult run = Play(terminal, "enter,open");
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_NE(run.transcript.find("[1 enter]"), std::string::npos);
  EXPECT_EQ(run.transcript.find("[2 open]"), std::string::npos);
}

TEST(Launcher, UnknownStepsOptionsAndMissingValuesRunNothing) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  terminal.WriteText("SDMMC DISK/logo.bin", "stale");
  for (const std::string steps : {"open,jump", "open,"}) {
    const PlayResult run = Play(terminal, steps);
    EXPECT_EQ(run.exitCode, 2) << steps;
    EXPECT_NE(run.err.find("unknown step"), std::string::npos);
    EXPECT_EQ(run.transcript, "");
  }
  EXPECT_EQ(Play(terminal, "open", {"--frobnicate"}).exitCode, 2);
  EXPECT_EQ(Play(terminal, "open", {"--root"}).exitCode, 2);
  EXPECT_TRUE(fs::exists(terminal / "SDMMC DISK/logo.bin"));  // nothing ran
}

TEST(Launcher, VersionShowsTheVersionInformation) {
  const TempTerminal folder;
  Program program({kBramble.string(), "--version"}, folder / "version.txt", "/dev/null");
  ASSERT_EQ(program.Wait(), 0);
  const std::string text = ReadText(folder / "version.txt");
  for (const char* line : {"1.0.0.1", "FileVersion: 1.0.0.1", "ProductVersion: 1.0.0.1", "InternalName: Bramble.exe",
                           "OriginalFilename: Bramble.exe"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

}  // namespace
