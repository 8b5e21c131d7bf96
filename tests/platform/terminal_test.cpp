#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/terminal.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;

TEST(TerminalPaths, CardFilesAreFoundWhateverTheirCase) {
  TempTerminal terminal;
  terminal.WriteText("SDMMC DISK/LOGO.BMP", "x");
  auto found = platform::FindTerminalPath(u"\\sdmmc disk\\logo.bmp");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "LOGO.BMP");
  EXPECT_TRUE(FileExists(u"\\SDMMC DISK\\logo.bmp"));
}

TEST(TerminalPaths, TrailingBackslashNamesTheFolderOnly) {
  TempTerminal terminal;
  EXPECT_FALSE(FileExists(u"\\SDMMC DISK\\"));
  terminal.MakeCard();
  EXPECT_TRUE(FileExists(u"\\SDMMC DISK\\"));
  terminal.WriteText("SDMMC DISK/logo.bmp", "x");
  EXPECT_FALSE(FileExists(u"\\SDMMC DISK\\logo.bmp\\"));
}

TEST(TerminalPaths, NeverLeaveTheFolder) {
  TempTerminal terminal;
  terminal.MakeCard();
  EXPECT_FALSE(platform::FindTerminalPath(u"\\SDMMC DISK\\..\\..\\etc\\passwd"));
  EXPECT_FALSE(platform::CreatableTerminalPath(u"\\..\\escape.txt"));
  EXPECT_FALSE(FileExists(u""));
  EXPECT_FALSE(FileExists(u"relative\\path"));
}

TEST(TerminalPaths, NewFilesTakeTheGivenCaseAndExistingOnesKeepTheirs) {
  TempTerminal terminal;
  terminal.MakeCard();
  EXPECT_EQ(platform::CreatableTerminalPath(u"\\sdmmc disk\\logo.bin")->filename(), "logo.bin");
  terminal.WriteText("SDMMC DISK/LOGO.BIN", "old");
  EXPECT_EQ(platform::CreatableTerminalPath(u"\\SDMMC DISK\\logo.bin")->filename(), "LOGO.BIN");
  EXPECT_FALSE(platform::CreatableTerminalPath(u"\\NoSuchFolder\\logo.bin"));
}

TEST(TerminalPaths, TextModeTurnsCrLfIntoLf) {
  TempTerminal terminal;
  terminal.WriteText("ResidentFlash/System/info.txt", "V1.02\r\nnext\rline\r\n");
  auto file = platform::OpenTerminalFileW(u"\\ResidentFlash\\System\\info.txt", "rt");
  ASSERT_TRUE(file);
  char line[100];
  ASSERT_TRUE(std::fgets(line, sizeof line, file.get()));
  EXPECT_STREQ(line, "V1.02\n");
  ASSERT_TRUE(std::fgets(line, sizeof line, file.get()));
  EXPECT_STREQ(line, "next\rline\n");
  EXPECT_FALSE(std::fgets(line, sizeof line, file.get()));
}

TEST(TerminalRoot, OptionThenEnvironmentThenCurrentFolder) {
  EXPECT_EQ(platform::ChooseTerminalRoot(std::filesystem::path("/x")), "/x");
  ::setenv("BRAMBLE_ROOT", "/from-env", 1);
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "/from-env");
  ::unsetenv("BRAMBLE_ROOT");
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "terminal");
}

}  // namespace
