// check: the verdict and the hint on bitmaps from a common tool in every variant
// the preview loader knows, and on hostile files; the verdict agrees with the
// dialog's own pre-check and converter.

#include <climits>

#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using namespace logo_tool_test;
using logo_tool::Verdict;

struct Expected {
  Verdict verdict;
  std::vector<std::string_view> rules;
  std::string hint;  // a piece of the first finding's text
};

void ExpectDiagnosis(const TempTerminal& terminal, const fs::path& file, const Expected& expected) {
  SCOPED_TRACE(file.filename().string());
  const auto diagnosis = logo_tool::DiagnoseBitmap(logo_tool::Input(file));
  std::vector<std::string_view> rules;
  for (const auto& finding : diagnosis.findings) rules.push_back(finding.rule);
  EXPECT_EQ(std::tuple(diagnosis.verdict, rules), std::tuple(expected.verdict, expected.rules));
  const std::string text = rules.empty() ? "" : diagnosis.findings[0].problem + "; " + diagnosis.findings[0].fix;
  EXPECT_NE(text.find(expected.hint), std::string::npos) << text;
  // Only a compressed bitmap is refused where the dialog would take it.
  if (expected.rules != std::vector<std::string_view>{"compression"}) {
    EXPECT_EQ(diagnosis.verdict == Verdict::kUsable, DialogTakes(terminal, file));
  }
}

TEST(Check, EveryVariantAndHostileFileGetsAVerdictAndNeverAFalseUsable) {
  TempTerminal terminal;
  terminal.MakeCard();
  // Bitmaps from a common tool in every variant the preview loader knows.
  const std::string save24 = "save it as 24-bit", logo = "-size 800x480 plasma:fractal ";
  const std::tuple<const char*, std::string, Expected> cases[] = {
      {"good.bmp", logo + "-type truecolor BMP3:", {Verdict::kUsable, {}, ""}},
      {"good-v5.bmp", logo + "-type truecolor ", {Verdict::kUsable, {}, ""}},  // 124-byte header, pixels at 138
      {"palette-rle.bmp", logo + "-type palette BMP3:",
       {Verdict::kNotUsable, {"bit-count"}, "8 bits per pixel (a colour table); " + save24}},
      {"argb.bmp", logo + "-type truecoloralpha ", {Verdict::kNotUsable, {"bit-count"}, "32 bits per pixel; " + save24}},
      {"os2.bmp", logo + "-type truecolor BMP2:", {Verdict::kNotUsable, {"header-kind"}, "OS/2"}},
  };
  for (const auto& [name, options, expected] : cases) {
    Magick(options + Quoted(terminal / name));
    ExpectDiagnosis(terminal, terminal / name, expected);
  }

  const auto good = BuildBitmap({});
  auto cut = good;
  cut.resize(54 + 2400 * 10 + 100);  // ten whole rows and part of the eleventh
  const std::vector<std::byte> huge = Patched(Patched(good, {"", 18, INT_MAX}), {"", 22, static_cast<std::uint32_t>(INT_MIN)});
  const std::tuple<const char*, std::vector<std::byte>, Expected> built[] = {
      {"top-down.bmp", BuildBitmap({.height = -480}),
       {Verdict::kNotUsable, {"top-down"}, "height is -480: the rows are stored top-down; save it bottom-up"}},
      {"rle24.bmp", BuildBitmap({.compression = 1}), {Verdict::kNotUsable, {"compression"}, "compression 1 (RLE8)"}},
      {"cut.bmp", cut,
       {Verdict::kNotUsable, {"pixel-data"}, "24,100 of 1,152,000 bytes: the file is cut short; copy the file to the card again"}},
      {"past-end.bmp", Patched(good, {"", 10, 0xFFFFFF00u}), {Verdict::kNotUsable, {"pixel-data"}, "no pixel data"}},
      {"into-header.bmp", Patched(good, {"", 10, 20}), {Verdict::kUsable, {"pixel-offset"}, "byte 20, inside the header"}},
      {"huge.bmp", huge, {Verdict::kNotUsable, {"size"}, "2147483647 \u00D7 -2147483648"}},
      {"no-signature.bmp", BuildBitmap({.signature = false}),
       {Verdict::kNotUsable, {"signature"}, "does not start with \"BM\": not a Windows bitmap"}},
      {"jpeg-inside.bmp", BuildBitmap({.bitCount = 0, .compression = 4}),
       {Verdict::kNotUsable, {"compression"}, "JPEG-compressed bitmap; save it uncompressed, 24 bits per pixel"}},
      {"png.bmp", Bytes("\x89PNG\r\n\x1a\n and some more bytes of a PNG file"),
       {Verdict::kNotUsable, {"signature"}, "a PNG picture, not a Windows bitmap; use `prepare`"}},
  };
  for (const auto& [name, bytes, expected] : built) {
    terminal.Write(name, bytes);
    ExpectDiagnosis(terminal, terminal / name, expected);
  }
  for (std::size_t length = 0; length < 80; ++length) {
    terminal.Write("cut-here.bmp", std::span(good).first(length));
    EXPECT_EQ(logo_tool::DiagnoseBitmap(logo_tool::Input(terminal / "cut-here.bmp")).verdict, Verdict::kNotUsable) << length;
  }
  // A whole logo with 64 MiB of something behind it: the dialog does not read it.
  terminal.Write("padded.bmp", good);
  fs::resize_file(terminal / "padded.bmp", (64 << 20) + 1);
  ExpectDiagnosis(terminal, terminal / "padded.bmp",
                  {Verdict::kNotUsable, {"file-size"}, "67,108,865 bytes: the dialog reads no bitmap over 67,108,864"});
}

// The command's own lines and exit statuses; a usable file's 0 is in round_trip_test.
TEST(Check, TheCommandExitsOneOrFourAndSaysWhy) {
  TempTerminal terminal;
  terminal.Write("wide.bmp", BuildBitmap({.width = 1024, .height = 768, .bitCount = 32}));
  const std::string wide = (terminal / "wide.bmp").string();
  const auto notUsable = Tool({"check", wide});
  EXPECT_EQ(std::tuple(notUsable.code, notUsable.out),
            std::tuple(1, wide + ": not usable\n  - 1024 \u00D7 768: the logo must be 800 \u00D7 480; use `prepare`\n" +
                              "  - 32 bits per pixel; save it as 24-bit\n"));
  // Several files: the worst verdict, and one JSON object a line for scripts.
  terminal.Write("good.bmp", BuildBitmap({}));
  const std::string good = (terminal / "good.bmp").string();
  EXPECT_EQ(Tool({"check", wide, good}).code, 1);  // the worst, not the last
  const Outcome json = Tool({"check", "--json", good, wide, "missing.bmp"});
  EXPECT_EQ(json.code, 4);
  EXPECT_EQ(json.out, "{\"path\":\"" + good + "\",\"usable\":true,\"width\":800,\"height\":480,\"bits_per_pixel\":24,"
                      "\"findings\":[]}\n"
                      "{\"path\":\"" + wide + "\",\"usable\":false,\"width\":1024,\"height\":768,\"bits_per_pixel\":32,"
                      "\"findings\":[{\"rule\":\"size\",\"blocking\":true,\"problem\":\"1024 \u00D7 768: the logo must be "
                      "800 \u00D7 480\",\"fix\":\"use `prepare`\"},{\"rule\":\"bit-count\",\"blocking\":true,"
                      "\"problem\":\"32 bits per pixel\",\"fix\":\"save it as 24-bit\"}]}\n"
                      "{\"path\":\"missing.bmp\",\"usable\":false,\"error\":\"cannot read missing.bmp: No such file or "
                      "directory\"}\n");
  // -q: the exit status alone; what cannot be read is still said.
  const Outcome quiet = Tool({"check", "-q", wide, "missing.bmp"});
  EXPECT_EQ(std::tuple(quiet.code, quiet.out, quiet.err),
            std::tuple(4, "", "bramble-logo: cannot read missing.bmp: No such file or directory\n"));
  // A name that is not UTF-8 keeps its bytes for a script that opens it again.
  terminal.Write("\xFF\xFE.bmp", BuildBitmap({}));
  ASSERT_EQ(Shell("cd " + Quoted(terminal.root()) + " && " + kTool + " check --json $(printf '\\377\\376.bmp') >" +
                  Quoted(terminal / "json.txt")), 0);
  EXPECT_EQ(ReadText(terminal / "json.txt"), "{\"path\":\"\uFFFD\uFFFD.bmp\",\"path_base64\":\"//4uYm1w\",\"usable\":true,"
                                               "\"width\":800,\"height\":480,\"bits_per_pixel\":24,\"findings\":[]}\n");
}

}  // namespace
