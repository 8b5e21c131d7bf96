// check: the verdict and the hint on bitmaps from a common tool in every variant
// the preview loader knows, and on hostile files; the verdict agrees with the
// dialog's own pre-check and converter.

#include <sys/wait.h>

#include <climits>

#include "logo/converter.h"
#include "logo/precheck.h"
#include "platform/little_endian.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using bramble::test::BuildBitmap;
using bramble::test::TempTerminal;
using logo_tool::Rule;
using logo_tool::Verdict;
using logo_tool_test::Magick;
using logo_tool_test::Quoted;

struct Expected {
  std::string name;
  Verdict verdict;
  std::vector<Rule> rules;
  std::string hint;  // a piece of the first finding's text
};

std::vector<Rule> Rules(const logo_tool::Diagnosis& diagnosis) {
  std::vector<Rule> rules;
  for (const auto& finding : diagnosis.findings) rules.push_back(finding.rule);
  return rules;
}

// What the dialog does with the file: the pre-check and the converter both take it.
bool DialogTakes(const TempTerminal& terminal, const fs::path& file) {
  fs::copy_file(file, terminal / "SDMMC DISK/logo.bmp", fs::copy_options::overwrite_existing);
  testing::internal::CaptureStdout();
  const bool taken = logo::LoadAndCheckBitmap(u"\\SDMMC DISK\\logo.bmp") &&
                     logo::ConvertBitmapToLogo(1, u"\\SDMMC DISK\\logo.bmp") == 0;
  testing::internal::GetCapturedStdout();
  return taken;
}

void ExpectDiagnoses(const TempTerminal& terminal, const std::vector<Expected>& cases) {
  for (const auto& expected : cases) {
    const fs::path file = terminal / expected.name;
    const auto diagnosis = logo_tool::DiagnoseBitmap(file);
    EXPECT_EQ(diagnosis.verdict, expected.verdict) << expected.name;
    EXPECT_EQ(Rules(diagnosis), expected.rules) << expected.name;
    if (!expected.hint.empty() && !diagnosis.findings.empty()) {
      EXPECT_NE(diagnosis.findings[0].text.find(expected.hint), std::string::npos)
          << expected.name << ": " << diagnosis.findings[0].text;
    }
    // Only a compressed bitmap is refused where the dialog would take it.
    if (expected.rules != std::vector{Rule::kCompression}) {
      EXPECT_EQ(diagnosis.verdict == Verdict::kUsable, DialogTakes(terminal, file)) << expected.name;
    }
  }
}

TEST(Check, BitmapsFromACommonToolInEveryVariantTheLoaderKnows) {
  TempTerminal terminal;
  terminal.MakeCard();
  const std::pair<const char*, const char*> made[] = {
      {"good.bmp", "-type truecolor BMP3:"},
      {"good-v5.bmp", "-type truecolor "},  // 124-byte header, pixels at 138
      {"palette-rle.bmp", "-type palette BMP3:"},
      {"palette.bmp", "-type palette -compress none BMP3:"},
      {"mono.bmp", "-monochrome BMP3:"},
      {"rgb565.bmp", "-define bmp:subtype=RGB565 "},
      {"argb.bmp", "-type truecoloralpha "},
      {"os2.bmp", "-type truecolor BMP2:"},
  };
  for (const auto& [name, options] : made) Magick("-size 800x480 plasma:fractal " + std::string(options) + Quoted(terminal / name));
  Magick("-size 1024x768 plasma:fractal -type truecolor BMP3:" + Quoted(terminal / "big.bmp"));
  terminal.Write("top-down.bmp", BuildBitmap({.height = -480}));
  terminal.Write("rle24.bmp", BuildBitmap({.compression = 1}));

  const std::string save24 = "save it as 24-bit";
  ExpectDiagnoses(terminal, {
      {"good.bmp", Verdict::kUsable, {}, ""},
      {"good-v5.bmp", Verdict::kUsable, {}, ""},
      {"palette-rle.bmp", Verdict::kNotUsable, {Rule::kBitCount}, "8 bits per pixel (a colour table): " + save24},
      {"palette.bmp", Verdict::kNotUsable, {Rule::kBitCount}, "8 bits per pixel"},
      {"mono.bmp", Verdict::kNotUsable, {Rule::kBitCount}, "1 bit per pixel"},
      {"rgb565.bmp", Verdict::kNotUsable, {Rule::kBitCount}, "16 bits per pixel: " + save24},
      {"argb.bmp", Verdict::kNotUsable, {Rule::kBitCount}, "32 bits per pixel: " + save24},
      {"os2.bmp", Verdict::kNotUsable, {Rule::kHeaderKind}, "OS/2"},
      {"big.bmp", Verdict::kNotUsable, {Rule::kSize}, "1024 \u00D7 768: the logo must be 800 \u00D7 480; use `prepare`"},
      {"top-down.bmp", Verdict::kNotUsable, {Rule::kTopDown}, "height is -480: the rows are stored top-down; save it bottom-up"},
      {"rle24.bmp", Verdict::kNotUsable, {Rule::kCompression}, "compression 1 (RLE8)"},
  });
}

TEST(Check, HostileFilesGetAVerdictAndNeverAFalseUsable) {
  TempTerminal terminal;
  terminal.MakeCard();
  const auto good = BuildBitmap({});
  auto cut = good;
  cut.resize(54 + 2400 * 10 + 100);  // ten whole rows and part of the eleventh
  auto pastEnd = good;
  platform::PutU32(&pastEnd[10], 0xFFFFFF00u);
  auto intoHeader = good;
  platform::PutU32(&intoHeader[10], 20);
  auto huge = good;
  platform::PutU32(&huge[18], INT_MAX);
  platform::PutU32(&huge[22], static_cast<std::uint32_t>(INT_MIN));
  terminal.Write("cut.bmp", cut);
  terminal.Write("past-end.bmp", pastEnd);
  terminal.Write("into-header.bmp", intoHeader);
  terminal.Write("huge.bmp", huge);
  terminal.Write("29.bmp", std::span(good).first(29));
  terminal.Write("header-only.bmp", std::span(good).first(30));
  terminal.Write("empty.bmp", {});
  terminal.Write("no-signature.bmp", BuildBitmap({.signature = false}));
  terminal.WriteText("text.bmp", "this is a text file and nothing like a bitmap at all");
  terminal.Write("png.bmp", bramble::test::Bytes("\x89PNG\r\n\x1a\n and some more bytes of a PNG file"));

  ExpectDiagnoses(terminal, {
      {"cut.bmp", Verdict::kUsable, {Rule::kPixelData}, "24,100 of 1,152,000 bytes (the file is cut short): the top 470 rows become black"},
      {"past-end.bmp", Verdict::kUsable, {Rule::kPixelData}, "all black"},
      {"header-only.bmp", Verdict::kUsable, {Rule::kPixelData}, "no pixel data"},
      {"into-header.bmp", Verdict::kUsable, {Rule::kPixelOffset}, "byte 20, inside the header"},
      {"huge.bmp", Verdict::kNotUsable, {Rule::kSize}, "2147483647 \u00D7 -2147483648"},
      {"29.bmp", Verdict::kNotUsable, {Rule::kLength}, "29 bytes: too short"},
      {"empty.bmp", Verdict::kNotUsable, {Rule::kLength}, "0 bytes"},
      {"no-signature.bmp", Verdict::kNotUsable, {Rule::kSignature}, "does not start with \"BM\""},
      {"text.bmp", Verdict::kNotUsable, {Rule::kSignature}, "not a Windows bitmap"},
      {"png.bmp", Verdict::kNotUsable, {Rule::kSignature}, "a PNG picture, not a Windows bitmap: use `prepare`"},
  });
  for (std::size_t length = 0; length < 80; ++length) {
    terminal.Write("cut-here.bmp", std::span(good).first(length));
    const auto verdict = logo_tool::DiagnoseBitmap(terminal / "cut-here.bmp").verdict;
    EXPECT_EQ(verdict, length < 30 ? Verdict::kNotUsable : Verdict::kUsable) << length;
  }

  EXPECT_EQ(logo_tool::DiagnoseBitmap(terminal / "missing.bmp").verdict, Verdict::kUnreadable);
  EXPECT_EQ(logo_tool::DiagnoseBitmap(terminal.root()).verdict, Verdict::kUnreadable);
}

// The installed program, end to end: the verdict lines and the exit statuses.
TEST(Check, TheProgramExitsZeroOneOrTwoAndSaysWhy) {
  TempTerminal terminal;
  terminal.Write("good.bmp", BuildBitmap({}));
  terminal.Write("wide.bmp", BuildBitmap({.width = 1024, .height = 768, .bitCount = 32}));
  const auto run = [&](const std::string& arguments) {
    const std::string command = Quoted(fs::path(BRAMBLE_BINARY_DIR) / "bramble-logo") + " " + arguments + " >" +
                                Quoted(terminal / "out.txt") + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("check " + Quoted(terminal / "good.bmp")), 0);
  EXPECT_EQ(run("check " + Quoted(terminal / "wide.bmp")), 1);
  EXPECT_EQ(bramble::test::ReadFileBytes(terminal / "out.txt"),
            bramble::test::Bytes((terminal / "wide.bmp").string() + ": not usable\n" +
                                 "  - 1024 \u00D7 768: the logo must be 800 \u00D7 480; use `prepare`\n" +
                                 "  - 32 bits per pixel: save it as 24-bit\n"));
  EXPECT_EQ(run("check " + Quoted(terminal / "missing.bmp")), 2);
  EXPECT_EQ(run("check"), 64);
}

}  // namespace
