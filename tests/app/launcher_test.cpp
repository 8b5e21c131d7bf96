// The program as a user or a script starts it: bramble --play on terminal folders.

#include <gtest/gtest.h>

#include "platform/sim/flash_driver.h"
#include "tests/support/play_run.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

TEST(Launcher, OpenAndConvertProgramAreaOneAndTheNextStartTakesLogoBinAsTheSignOfTheChange) {
  ReadyTerminal terminal;
  const PlayResult run = Play(terminal, "open,convert,repaint");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string numbers = "\nmodel: QX210\nversion: V1.02\nwidth: 800\nheight: 480\nbitcount: 24\n";
  EXPECT_EQ(run.transcript, "[0 start]\nmessage: " + Escaped(text::kOpenImagePrompt) +
                                "\nmodel: QX210\nversion: V1.02\nwidth: \nheight: \nbitcount: \n"
                                "[1 open]\nmessage: " + Escaped(text::kUsable) + numbers +
                                "[2 convert]\nmessage: " + Escaped(text::kLogoChanged) + numbers +
                                "[3 repaint]\nmessage: " + Escaped(text::kUsable) + numbers);
  const auto logoBin = ReadFileBytes(terminal / "SDMMC DISK/logo.bin"), area = ReadFileBytes(terminal / "flash/area1.bin");
  ASSERT_EQ(std::tuple(logoBin.size(), area.size()), std::tuple(1536000u, 3001u * 512u));
  EXPECT_TRUE(std::equal(logoBin.begin(), logoBin.end(), area.begin()));
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000), EndMarker());

  // logo.bin is reported once, removed, and logo.bmp stays.
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kAlreadyApplied));
  EXPECT_TRUE(fs::exists(terminal / "SDMMC DISK/logo.bmp"));
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kOpenImagePrompt));
}

TEST(Launcher, UsageErrorsExitTwoBeforeTouchingAnythingAndVersionShowsTheVersionInformation) {
  ReadyTerminal terminal;
  terminal.WriteText("SDMMC DISK/logo.bin", "stale");  // what a start that ran would delete
  const std::string file = (terminal / "registry.reg").string(), missing = (terminal / "missing").string();
  const std::string hint = ": name the one to use with --root DIR or the environment variable BRAMBLE_ROOT";
  const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
      {"open,jump", {}, "unknown step 'jump'"},
      {"open", {"--root"}, "--root needs a value"},
      {"open", {"--root", missing}, "the terminal folder " + missing + " does not exist" + hint},
      {"open", {"--version=2"}, "unknown option '--version=2'"},
      {"open", {"--root", file}, "the terminal folder " + file + " is not a folder" + hint},
      {"open", {"--out", file}, "cannot make the folder " + file + " for --out"},
      {"open", {"--out", ""}, "--out needs the name of a folder"},
  };
  for (const auto& [steps, extra, message] : cases) {
    const PlayResult run = Play(terminal, steps, extra);
    EXPECT_EQ(run.exitCode, 2) << message;
    EXPECT_NE(run.err.find("bramble: " + message), std::string::npos) << run.err;
  }
  // A wrong option is one line that says where to look, as bramble-logo's.
  const PlayResult bogus = Play(terminal, "open", {"--frobnicate"});
  EXPECT_EQ(std::tuple(bogus.exitCode, bogus.err), std::tuple(2, "bramble: unknown option '--frobnicate'; see 'bramble --help'\n"));
  EXPECT_EQ(ReadText(terminal / "SDMMC DISK/logo.bin"), "stale");

  EXPECT_EQ(Play(terminal, "open", {"--root=" + terminal.root().string()}).exitCode, 0);
  Program help({kBramble.string(), "--help"}, terminal / "help.txt", "/dev/null");
  ASSERT_EQ(help.Wait(), 0);
  EXPECT_NE(ReadText(terminal / "help.txt").find("DIR/SDMMC DISK/logo.bmp"), std::string::npos);
  Program full({kBramble.string(), "--help"}, "/dev/full", terminal / "full.txt");
  EXPECT_EQ(full.Wait(), 1);
  EXPECT_EQ(ReadText(terminal / "full.txt"), "bramble: write error: No space left on device\n");

  Program version({kBramble.string(), "--version"}, terminal / "version.txt", "/dev/null");
  ASSERT_EQ(version.Wait(), 0);
  const std::string text = ReadText(terminal / "version.txt");
  for (const char* line : {"1.0.0.1", "FileVersion: 1.0.0.1", "ProductVersion: 1.0.0.1", "InternalName: Bramble.exe",
                           "OriginalFilename: Bramble.exe"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(Launcher, EmptyStepsAreNoStepsEnterEndsTheRunAndAnUnwritableTranscriptFailsAfterTheSteps) {
  ReadyTerminal terminal;
  const PlayResult ended = Play(terminal, ",open,,enter,convert,");
  EXPECT_EQ(std::tuple(ended.exitCode, ended.transcript.find("[2 enter]") != std::string::npos, ended.transcript.find("[3 ")),
            std::tuple(0, true, std::string::npos)) << ended.err;

  const fs::path out = FreshOutFolder(terminal);
  fs::create_symlink("/dev/full", out / "transcript.txt");  // a full disk
  Program program = StartPlay(terminal, "open,convert", out);
  EXPECT_EQ(program.Wait(), 1);
  const std::string err = ReadText(out / "stderr.txt");
  EXPECT_NE(err.find("bramble: cannot write " + (out / "transcript.txt").string()), std::string::npos) << err;
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000), EndMarker());  // the steps ran
}

}  // namespace
