#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/terminal.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;

TEST(TerminalPaths, LookupIgnoresCaseATrailingBackslashNamesAFolderAndNothingLeavesTheFolder) {
  TempTerminal terminal;
  EXPECT_FALSE(FileExists(u"\\SDMMC DISK\\"));
  terminal.WriteText("SDMMC DISK/LOGO.BMP", "x");
  const auto found = platform::FindTerminalPath(u"\\sdmmc disk\\logo.bmp");
  EXPECT_EQ(found.value_or("").filename(), "LOGO.BMP");
  const std::pair<const char16_t*, bool> cases[] = {
      {u"\\SDMMC DISK\\logo.bmp", true}, {u"\\SDMMC DISK\\", true}, {u"\\SDMMC DISK\\logo.bmp\\", false},
      {u"\\SDMMC DISK\\..\\..\\etc\\passwd", false}, {u"", false}, {u"relative\\path", false},
  };
  for (const auto& [path, exists] : cases) EXPECT_EQ(FileExists(path), exists) << CString(path).ToUtf8();
  EXPECT_FALSE(platform::FindTerminalPath(u"\\SDMMC DISK\\..\\..\\etc\\passwd"));
  EXPECT_FALSE(platform::CreatableTerminalPath(u"\\..\\escape.txt"));
}

TEST(TerminalPaths, NewFilesTakeTheGivenCaseAndExistingOnesKeepTheirs) {
  TempTerminal terminal;
  terminal.MakeCard();
  EXPECT_EQ(platform::CreatableTerminalPath(u"\\sdmmc disk\\logo.bin")->filename(), "logo.bin");
  terminal.WriteText("SDMMC DISK/LOGO.BIN", "old");
  EXPECT_EQ(platform::CreatableTerminalPath(u"\\SDMMC DISK\\logo.bin")->filename(), "LOGO.BIN");
  EXPECT_FALSE(platform::CreatableTerminalPath(u"\\NoSuchFolder\\logo.bin"));
}

TEST(TerminalRoot, OptionThenEnvironmentThenCurrentFolder) {
  EXPECT_EQ(platform::ChooseTerminalRoot(std::filesystem::path("/x")), "/x");
  ::setenv("BRAMBLE_ROOT", "/from-env", 1);
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "/from-env");
  ::unsetenv("BRAMBLE_ROOT");
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "terminal");
}

}  // namespace
