#include <gtest/gtest.h>

#include "platform/framework/storage.h"
#include "platform/sim/terminal.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;

TEST(TerminalPaths, LookupIgnoresCaseStaysInTheFolderAndNewFilesTakeTheGivenCase) {
  TempTerminal terminal;
  EXPECT_FALSE(FileExists(_T("\\SDMMC DISK\\")));
  terminal.WriteText("SDMMC DISK/LOGO.BMP", "x");
  const auto found = platform::FindTerminalPath(_T("\\sdmmc disk\\logo.bmp"));
  EXPECT_EQ(found.value_or("").filename(), "LOGO.BMP");
  const std::pair<const WCHAR*, bool> cases[] = {
      {_T("\\SDMMC DISK\\logo.bmp"), true}, {_T("\\SDMMC DISK\\"), true}, {_T("\\SDMMC DISK\\logo.bmp\\"), false},
      {_T("\\SDMMC DISK\\..\\..\\etc\\passwd"), false}, {_T(""), false}, {_T("relative\\path"), false},
      // Only a backslash separates: a host separator or a NUL cannot lead out.
      {_T("\\SDMMC DISK\\../../etc/passwd"), false}, {_T("\\/etc/passwd"), false}, {_T("\\SDMMC DISK/logo.bmp"), false},
  };
  for (const auto& [path, exists] : cases) EXPECT_EQ(FileExists(path), exists) << CString(path).ToUtf8();
  EXPECT_FALSE(platform::FindTerminalPath(platform::WString(_T("\\SDMMC DISK\\LOGO.BMP\0x"), 22)));
  EXPECT_FALSE(platform::CreatableTerminalPath(_T("\\..\\escape.txt")));

  // A new file takes the given case, an existing one keeps its own.
  EXPECT_EQ(platform::CreatableTerminalPath(_T("\\sdmmc disk\\logo.bin"))->filename(), "logo.bin");
  terminal.WriteText("SDMMC DISK/LOGO.BIN", "old");
  EXPECT_EQ(platform::CreatableTerminalPath(_T("\\SDMMC DISK\\logo.bin"))->filename(), "LOGO.BIN");
  EXPECT_FALSE(platform::CreatableTerminalPath(_T("\\NoSuchFolder\\logo.bin")));
}

TEST(TerminalRoot, OptionThenEnvironmentThenCurrentFolder) {
  EXPECT_EQ(platform::ChooseTerminalRoot(std::filesystem::path("/x")), "/x");
  ::setenv("BRAMBLE_ROOT", "/from-env", 1);
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "/from-env");
  ::unsetenv("BRAMBLE_ROOT");
  EXPECT_EQ(platform::ChooseTerminalRoot(std::nullopt), "terminal");
}


// Only the shortest form of a character decodes: an overlong NUL would pass a
// check of the bytes and end a name early.
TEST(WideText, Utf8DecodesShortestFormsOnlyAndEachBadByteBecomesOneReplacement) {
  EXPECT_EQ(platform::FromUtf8("\xC0\x80|\xE0\x80\x80|\xF0\x80\x80\x80|\xED\xA0\x80|\xE2\x82"),
            u"\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD");
  EXPECT_EQ(platform::FromUtf8("a\xC2\x80\xED\x95\x9C\xF0\x9F\x98\x80"), u"a\u0080\uD55C\U0001F600");
  EXPECT_EQ(platform::ToUtf8(u"a\u0080\uD55C\U0001F600\xD800"), "a\xC2\x80\xED\x95\x9C\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

}  // namespace
