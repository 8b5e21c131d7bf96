// A picture from a common tool through every command, checked against the
// dialog's own converter and the preview's bitmap loader.

#include "logo/precheck.h"
#include "platform/sim/bitmap_loader.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using namespace logo_tool_test;

std::string Text(const fs::path& path) { return path.string(); }

TEST(LogoTool, PreparedPngSurvivesConvertProgramAndReadbackPixelForPixel) {
  TempTerminal terminal;
  terminal.MakeFlashDriver();
  terminal.MakeCard();
  const fs::path pc = terminal / "pc";
  fs::create_directory(pc);
  Magick("-size 1024x768 plasma:fractal " + Quoted(pc / "in.png"));

  ASSERT_EQ(Tool({"prepare", Text(pc / "in.png"), Text(pc / "logo.bmp")}).code, 0);
  EXPECT_EQ(Tool({"check", Text(pc / "logo.bmp")}).code, 0);
  const auto decoded = platform::LoadBitmapFile(pc / "logo.bmp");
  ASSERT_TRUE(decoded && decoded->width == 800 && decoded->height == 480 && decoded->bitCount == 24);

  EXPECT_EQ(Tool({"convert", Text(pc / "logo.bmp"), Text(pc / "logo.bin")}).code, 0);
  EXPECT_TRUE(DialogTakes(terminal, pc / "logo.bmp"));
  auto area = ReadFileBytes(pc / "logo.bin");
  EXPECT_TRUE(area == ReadFileBytes(terminal / "SDMMC DISK/logo.bin"));

  // program takes the bitmap itself and sends what the dialog's converter made of
  // it, converted in a scratch file that is gone afterwards.
  const std::string root = "--root=" + Text(terminal.root());
  fs::create_directory(pc / "scratch");
  // Verified: what verification says is in area_test.
  EXPECT_EQ(Shell("TMPDIR=" + Quoted(pc / "scratch") + " " + kTool + " program " + Quoted(root) + " " + Quoted(pc / "logo.bmp")), 0);
  const auto marker = EndMarker();
  area.insert(area.end(), marker.begin(), marker.end());
  EXPECT_TRUE(ReadFileBytes(terminal / "flash/area1.bin") == area);
  EXPECT_TRUE(fs::is_empty(pc / "scratch"));

  // The pictures, read by a common tool: each pixel as the bitmap holds it.
  ASSERT_EQ(Tool({"readback", root, Text(pc / "back.png")}).code, 0);
  ASSERT_EQ(Tool({"show", Text(pc / "logo.bin"), Text(pc / "shown.bmp")}).code, 0);
  for (const char* name : {"back.png", "shown.bmp"}) {
    Magick(Quoted(pc / name) + " -depth 8 rgb:" + Quoted(pc / "pixels.rgb"));
    const auto rgb = ReadFileBytes(pc / "pixels.rgb");
    ASSERT_EQ(rgb.size(), 800u * 480 * 3) << name;
    int differing = 0;
    for (std::size_t i = 0; i < decoded->pixels.size(); ++i) {
      const auto pixel = decoded->pixels[i];
      differing += rgb[3 * i] != std::byte(pixel >> 16) || rgb[3 * i + 1] != std::byte(pixel >> 8) || rgb[3 * i + 2] != std::byte(pixel);
    }
    EXPECT_EQ(differing, 0) << name;
  }
  EXPECT_EQ(TemporaryFiles(pc), 0);
}

// The converter's own lines and results are pinned in tests/logo: here, that the
// command passes them on as output and exit status and leaves nothing half written.
TEST(LogoTool, ConvertAndStartupAnswerAsTheDialogsWritersAndLeaveOutputAloneWhenRefused) {
  TempTerminal terminal;
  const fs::path output = terminal / "logo.bin";
  terminal.Write("deep.bmp", BuildBitmap({.bitCount = 32}));
  terminal.WriteText("logo.bin", "earlier logo");
  Magick("-size 80x60 xc:red " + Quoted(terminal / "photo.jpg"));
  const std::string deep = Text(terminal / "deep.bmp"), photo = Text(terminal / "photo.jpg");
  // A refusal is the tool's one line on standard error, in place of the converter's
  // own: why, and what to do next (a bitmap goes through check, a photo through prepare).
  const std::pair<std::string, Outcome> refusals[] = {
      {deep, {1, "", "bramble-logo: " + deep + " is not a logo bitmap (32 bits per pixel): `bramble-logo check " + deep +
                         "` says why and how to fix it\n"}},
      {photo, {1, "", "bramble-logo: " + photo + " is a JPEG picture, not a bitmap: `bramble-logo prepare " + photo +
                          " logo.bmp` makes a logo of it\n"}},
      {"missing.bmp", {4, "", "bramble-logo: cannot read missing.bmp: No such file or directory\n"}},
      {Text(terminal.root()), {4, "", "bramble-logo: cannot read " + Text(terminal.root()) + ": Is a directory\n"}}};
  for (const auto& [input, expected] : refusals) {
    const Outcome refused = Tool({"convert", input, Text(output)});
    EXPECT_EQ(std::tuple(refused.code, refused.out, refused.err), std::tuple(expected.code, expected.out, expected.err));
  }
  EXPECT_EQ(ReadFileBytes(output), Bytes("earlier logo"));
  EXPECT_EQ(TemporaryFiles(terminal.root()), 0);

  // startup writes what the dialog's startup writer writes, for a passing bitmap only.
  terminal.Write("SDMMC DISK/logo.bmp", BuildBitmap({.infoHeaderSize = 124}));
  ASSERT_EQ(Tool({"startup", Text(terminal / "SDMMC DISK/logo.bmp"), Text(terminal / "tool.raw")}).code, 0);
  ASSERT_TRUE(logo::LoadAndCheckBitmap(u"\\SDMMC DISK\\logo.bmp"));
  ASSERT_TRUE(logo::WriteStartupImage(0));
  EXPECT_TRUE(ReadFileBytes(terminal / "tool.raw") == ReadFileBytes(terminal / "SDMMC DISK/startup.raw"));

  // A whole logo with more behind it than the dialog reads: refused, as any bitmap the dialog refuses.
  terminal.Write("padded.bmp", BuildBitmap({}));
  fs::resize_file(terminal / "padded.bmp", (64 << 20) + 1);
  ExpectFailure(Tool({"startup", Text(terminal / "padded.bmp"), Text(terminal / "td.raw")}), 1,
                "padded.bmp has 67,108,865 bytes: the dialog reads no bitmap over 67,108,864 bytes");
  EXPECT_FALSE(fs::exists(terminal / "td.raw"));
}

}  // namespace
