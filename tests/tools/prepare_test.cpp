// prepare: pictures of any size and kind become the logo's bitmap, stretched,
// letterboxed or cropped, read back through the preview's bitmap loader.

#include <algorithm>

#include "platform/sim/bitmap_loader.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using logo_tool_test::Magick;
using logo_tool_test::Quoted;
using logo_tool_test::Tool;

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kLime = 0xFF00FF00,
                        kBlue = 0xFF0000FF;

struct Prepared {
  int code = -1;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels.at(static_cast<std::size_t>(y * 800 + x)); }
  long count(std::uint32_t colour) const { return std::ranges::count(pixels, colour); }
};

// 1000 x 480, red, with a lime band of 100 columns on the left, a blue one on the
// right and a white one of 24 rows along the top: at height 480 filling needs no
// scaling, only the cut.
struct PrepareBands : testing::Test {
  bramble::test::TempTerminal terminal;
  void SetUp() override {
    Magick("-size 1000x480 xc:red -fill lime -draw 'rectangle 0,0 99,479' -fill blue -draw 'rectangle 900,0 999,479' "
           "-fill white -draw 'rectangle 0,0 999,23' " + Quoted(terminal / "bands.png"));
  }
  // An empty `fit` leaves the choice to the command.
  Prepared Prepare(const std::string& source, const std::string& fit) {
    const fs::path output = terminal / ("prepared-" + fit + ".bmp");
    std::vector<std::string> args = {"prepare", (terminal / source).string(), output.string()};
    if (!fit.empty()) args.insert(args.end(), {"--fit", fit});
    Prepared prepared{Tool(args).code, {}};
    if (const auto bitmap = platform::LoadBitmapFile(output)) {
      EXPECT_TRUE(bitmap->bitCount == 24 && bitmap->width == 800 && bitmap->height == 480);
      prepared.pixels = bitmap->pixels;
    }
    return prepared;
  }
};

TEST_F(PrepareBands, FillCutsTheSidesAwayFitLetterboxesOnBlackAndStretchByDefaultFillsTheScreen) {
  const Prepared fill = Prepare("bands.png", "fill"), fit = Prepare("bands.png", "fit"), stretch = Prepare("bands.png", "");
  ASSERT_EQ(std::tuple(fill.code, fit.code, stretch.code), std::tuple(0, 0, 0));
  EXPECT_EQ(std::tuple(fill.count(kWhite), fill.count(kRed)), std::tuple(800 * 24, 800 * 456));
  // Fitted at 800 x 384: bars of 48 rows above and below.
  for (const int y : {0, 47, 432, 479}) {
    for (const int x : {0, 400, 799}) EXPECT_EQ(fit.at(x, y), kBlack) << x << "," << y;
  }
  EXPECT_EQ(std::tuple(fit.at(400, 50), stretch.at(400, 2), stretch.count(kBlack)), std::tuple(kWhite, kWhite, 0));
  for (const auto* prepared : {&fit, &stretch}) {
    for (const int y : {100, 240, 420}) {
      EXPECT_EQ(std::tuple(prepared->at(10, y), prepared->at(400, y), prepared->at(790, y)), std::tuple(kLime, kRed, kBlue));
    }
  }
}

TEST_F(PrepareBands, JpegAndTransparentPngAreRead) {
  Magick(Quoted(terminal / "bands.png") + " -quality 95 " + Quoted(terminal / "bands.jpg"));
  const Prepared jpeg = Prepare("bands.jpg", "fill");
  ASSERT_EQ(jpeg.code, 0);
  EXPECT_GT((jpeg.at(400, 240) >> 16) & 0xFF, 240u);
  EXPECT_LT((jpeg.at(400, 240) >> 8) & 0xFF, 16u);

  Magick("-size 800x480 xc:none -fill red -draw 'rectangle 0,0 399,479' " + Quoted(terminal / "half.png"));
  const Prepared half = Prepare("half.png", "stretch");
  ASSERT_EQ(half.code, 0);
  EXPECT_EQ(std::tuple(half.at(100, 100), half.at(700, 100)), std::tuple(kRed, kBlack));  // transparent: black
}

TEST_F(PrepareBands, RefusesWhatIsNoPictureAndLeavesNoFile) {
  terminal.WriteText("notes.png", "not a picture");
  const std::string out = (terminal / "out.bmp").string();
  EXPECT_EQ(Tool({"prepare", (terminal / "notes.png").string(), out}).code, 1);
  EXPECT_EQ(Tool({"prepare", (terminal / "missing.png").string(), out}).code, 2);
  EXPECT_EQ(Tool({"prepare", (terminal / "bands.png").string(), out, "--fit=zoom"}).code, 64);
  const auto noFolder = Tool({"prepare", (terminal / "bands.png").string(), (terminal / "none/out.bmp").string()});
  EXPECT_EQ(noFolder.code, 2);
  EXPECT_NE(noFolder.err.find("No such file or directory"), std::string::npos) << noFolder.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(logo_tool_test::TemporaryFiles(terminal.root()), 0);
}

}  // namespace
