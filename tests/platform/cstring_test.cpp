#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/cstring.h"

namespace {

TEST(CString, FormatsLikeTheWidePrintfFamily) {
  CString text;
  text.Format(u"%d|%x|%s|%5d|%-3d|%03d|%c|%%", -480, 0xbb7u, u"모델", 42, 7, 5, u'A');
  EXPECT_EQ(text.str(), u"-480|bb7|모델|   42|7  |005|A|%");
}

TEST(CodePage, KoreanRoundTripsThroughCp949AndBadBytesBecomeReplacement) {
  const std::u16string korean = u"버전 1.0";
  const std::string ansi = platform::WideToAnsi(korean);
  EXPECT_EQ(ansi.size(), 8u);  // two Hangul syllables of two bytes each
  EXPECT_EQ(platform::AnsiToWide(ansi), korean);
  EXPECT_EQ(platform::AnsiToWide("A\xFF" "B"), u"A\uFFFD" u"B");
  EXPECT_EQ(platform::AnsiToWide("A\xB9"), u"A\uFFFD");  // cut-off lead byte
  EXPECT_EQ(platform::WideToAnsi(u"A\u0E01B"), "A?B");   // Thai is not in code page 949
}

TEST(CodePage, Utf8ConversionHandlesEveryPlane) {
  const std::u16string text = u"a\u00e9\ud55c\U0001F600";
  EXPECT_EQ(platform::Utf8ToUtf16(platform::Utf16ToUtf8(text)), text);
  EXPECT_EQ(platform::Utf8ToUtf16("\xC3"), u"\uFFFD");
}

}  // namespace
