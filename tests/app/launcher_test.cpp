// The program as a user or a script starts it: bramble --play on terminal folders.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/launcher.h"
#include "dialog/messages.h"
#include "platform/cstring.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

const fs::path kBramble = fs::path(BRAMBLE_BINARY_DIR) / "bramble";

struct PlayResult {
  int exitCode;
  std::string transcript;
  std::string err;
};

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

PlayResult Play(const TempTerminal& terminal, const std::string& steps, const std::string& extra = "") {
  const fs::path out = terminal.root() / "out";
  const fs::path err = terminal.root() / "stderr.txt";
  const std::string command = Quote(kBramble) + " --root " + Quote(terminal.root()) + " --play '" + steps +
                              "' --out " + Quote(out) + " " + extra + " >/dev/null 2>" + Quote(err);
  const int status = std::system(command.c_str());
  return {WEXITSTATUS(status), ReadText(out / "transcript.txt"), ReadText(err)};
}

// The transcript's way of writing a text: line feeds as \n.
std::string Escaped(const char16_t* text) { return platform::EscapeTranscriptValue(CString(text)); }

TEST(Launcher, PlayWritesAStartBlockAndAPicturePerStep) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const PlayResult run = Play(terminal, "open,convert,repaint");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::istringstream blocks(run.transcript);
  std::string expected = "[0 start]\nmessage: " + Escaped(kMsgOpenImagePrompt) +
                         "\nmodel: QX210\nversion: V1.02\nwidth: \nheight: \nbitcount: \n"
                         "[1 open]\nmessage: " + Escaped(kMsgUsable) +
                         "\nmodel: QX210\nversion: V1.02\nwidth: 800\nheight: 480\nbitcount: 24\n"
                         "[2 convert]\nmessage: " + Escaped(kMsgLogoChanged) +
                         "\nmodel: QX210\nversion: V1.02\nwidth: 800\nheight: 480\nbitcount: 24\n"
                         "[3 repaint]\nmessage: " + Escaped(kMsgUsable) +
                         "\nmodel: QX210\nversion: V1.02\nwidth: 800\nheight: 480\nbitcount: 24\n";
  EXPECT_EQ(run.transcript, expected);
  for (const char* png : {"00-start.png", "01-open.png", "02-convert.png", "03-repaint.png"}) {
    EXPECT_GT(fs::file_size(terminal / ("out/" + std::string(png))), 1000u) << png;
  }
  EXPECT_EQ(fs::file_size(terminal / "flash/area1.bin"), 3001u * 512u);
  EXPECT_EQ(CountLines(terminal / "flash/trace.log"), 3002);
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

TEST(Launcher, UnknownStepsAndOptionsRunNothing) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  terminal.WriteText("SDMMC DISK/logo.bin", "stale");
  for (const std::string steps : {"open,jump", "open,"}) {
    const PlayResult run = Play(terminal, steps);
    EXPECT_EQ(run.exitCode, 2) << steps;
    EXPECT_NE(run.err.find("unknown step"), std::string::npos);
    EXPECT_FALSE(fs::exists(terminal / "out/transcript.txt"));
  }
  EXPECT_EQ(Play(terminal, "open", "--frobnicate").exitCode, 2);
  EXPECT_TRUE(fs::exists(terminal / "SDMMC DISK/logo.bin"));  // nothing ran
}

TEST(Launcher, VersionShowsTheVersionInformation) {
  const std::string out = (fs::temp_directory_path() / "bramble-version.txt").string();
  ASSERT_EQ(std::system((Quote(kBramble) + " --version >" + out).c_str()), 0);
  const std::string text = ReadText(out);
  for (const char* line : {"1.0.0.1", "FileVersion: 1.0.0.1", "ProductVersion: 1.0.0.1", "InternalName: Bramble.exe",
                           "OriginalFilename: Bramble.exe"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  fs::remove(out);
}

TEST(LaunchOptions, RootComesFromTheOptionThenTheEnvironment) {
  const char* argv[] = {"bramble", "--root", "/t", "--play", "open,reset", "--out", "/o"};
  app::LaunchOptions options;
  std::string error;
  ASSERT_TRUE(app::ParseLaunchOptions(7, const_cast<char**>(argv), options, error)) << error;
  EXPECT_EQ(options.root, fs::path("/t"));
  EXPECT_EQ(options.steps, (std::vector<std::string>{"open", "reset"}));
  EXPECT_EQ(options.outDir, fs::path("/o"));
  const char* missing[] = {"bramble", "--root"};
  EXPECT_FALSE(app::ParseLaunchOptions(2, const_cast<char**>(missing), options, error));
}

}  // namespace
