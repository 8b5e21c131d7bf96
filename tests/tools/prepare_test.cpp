// prepare: pictures of every kind and size become the logo's bitmap, stretched,
// letterboxed or cropped, upright and in sRGB, read back through the preview's
// bitmap loader; damaged ones are refused.

#include <lcms2.h>

#include <algorithm>
#include <optional>
#include <memory>

#include "platform/sim/bitmap_loader.h"
#include "tests/support/temp_terminal.h"
#include "tests/tools/tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace logo_tool_test;

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kLime = 0xFF00FF00,
                        kBlue = 0xFF0000FF;

// Within a few levels of each other in every channel.
bool Near(std::uint32_t a, std::uint32_t b, int levels) {
  const auto channel = [](std::uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); };
  return std::ranges::all_of(std::array{0, 8, 16}, [&](int s) { return std::abs(channel(a, s) - channel(b, s)) <= levels; });
}

struct Prepared {
  Outcome outcome;
  std::vector<std::uint32_t> pixels;
  int code() const { return outcome.code; }
  std::uint32_t at(int x, int y) const { return pixels.at(static_cast<std::size_t>(y * 800 + x)); }
  long count(std::uint32_t colour) const { return std::ranges::count(pixels, colour); }
};

// 1000 x 480, red, with a lime band of 100 columns on the left, a blue one on the
// right and a white one of 24 rows along the top: at height 480 filling needs no
// scaling, only the cut.
struct PrepareBands : testing::Test {
  bramble::test::TempTerminal terminal;
  fs::path output = terminal / "prepared.bmp";
  void SetUp() override {
    Magick("-size 1000x480 xc:red -fill lime -draw 'rectangle 0,0 99,479' -fill blue -draw 'rectangle 900,0 999,479' "
           "-fill white -draw 'rectangle 0,0 999,23' " + Quoted(terminal / "bands.png"));
  }
  // An empty `fit` or `background` leaves the choice to the command.
  Prepared Prepare(const std::string& source, const std::string& fit = "", const std::string& background = "") {
    std::vector<std::string> args = {"prepare", (terminal / source).string(), output.string()};
    if (!fit.empty()) args.insert(args.end(), {"--fit", fit});
    if (!background.empty()) args.push_back("--background=" + background);
    Prepared prepared{Tool(args), {}};
    if (const auto bitmap = prepared.code() == 0 ? platform::LoadBitmapFile(output) : std::nullopt) {
      EXPECT_TRUE(bitmap->bitCount == 24 && bitmap->width == 800 && bitmap->height == 480);
      prepared.pixels = bitmap->pixels;
    }
    fs::remove(output);
    return prepared;
  }
};

TEST_F(PrepareBands, FillCutsTheSidesAwayFitByDefaultLetterboxesOnTheBackgroundAndStretchFillsTheScreen) {
  const Prepared fill = Prepare("bands.png", "fill"), fit = Prepare("bands.png"), stretch = Prepare("bands.png", "stretch");
  ASSERT_EQ(std::tuple(fill.code(), fit.code(), stretch.code()), std::tuple(0, 0, 0));
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
  const Prepared teal = Prepare("bands.png", "fit", "#008080");
  EXPECT_EQ(std::tuple(teal.at(400, 10), teal.at(400, 470), teal.at(400, 240)), std::tuple(0xFF008080u, 0xFF008080u, kRed));

  // Transparent parts show the background, black unless one is given, which is said.
  Magick("-size 800x480 xc:none -fill red -draw 'rectangle 0,0 399,479' " + Quoted(terminal / "half.png"));
  const Prepared half = Prepare("half.png"), white = Prepare("half.png", "", "white");
  EXPECT_EQ(std::tuple(half.at(100, 100), half.at(700, 100), white.at(100, 100), white.at(700, 100)),
            std::tuple(kRed, kBlack, kRed, kWhite));
  EXPECT_TRUE(Contains(half.outcome.err, "half.png has transparent parts, which became black: --background COLOUR"))
      << half.outcome.err;
  EXPECT_EQ(std::tuple(white.outcome.err, fit.outcome.err), std::tuple("", ""));
  ExpectFailure(Prepare("half.png", "", "mauve").outcome, 2, "--background takes a colour name");
}

TEST(Colours, NamesAndHexadecimalAreTakenAndAnythingElseIsNot) {
  const std::pair<const char*, std::optional<logo_tool::Colour>> cases[] = {
      {"white", 0xFFFFFF}, {"Navy", 0x000080}, {"grey", 0x808080}, {"#1E90ff", 0x1E90FF}, {"#fa0", 0xFFAA00},
      {"#12345", std::nullopt}, {"#ggg", std::nullopt}, {"", std::nullopt}, {"whitish", std::nullopt}};
  for (const auto& [text, colour] : cases) EXPECT_EQ(logo_tool::ParseColour(text), colour) << text;
}

// A JPEG has no checksum: only a flipped bit that puts its decoder out of step
// can show, which one does in the flat bands. GIF, WebP and TIFF are only cut.
TEST_F(PrepareBands, EveryFormatIsReadAndRefusedWhenCutShortOrFlippedAsIsWhatIsNoPicture) {
  const std::tuple<const char*, const char*, bool> formats[] = {
      {"jpg", "-quality 95", true}, {"png", "", true}, {"gif", "", false}, {"webp", "-quality 90", false},
      {"tif", "-compress lzw", false}, {"heic", "-quality 90", false}, {"avif", "-quality 90", false},
      {"bmp", "-type truecolor", false}};
  for (const auto& [extension, options, flip] : formats) {
    const std::string name = std::string("bands.") + extension;
    Magick(Quoted(terminal / "bands.png") + " " + options + " " + Quoted(terminal / name));
    const Prepared whole = Prepare(name);
    EXPECT_TRUE(whole.code() == 0 && Near(whole.at(400, 240), kRed, 12) && Near(whole.at(10, 240), kLime, 12))
        << name << whole.outcome.err;
    if (std::string_view(extension) == "bmp") continue;  // the preview's loader: tests/platform
    const auto bytes = bramble::test::ReadFileBytes(terminal / name);
    std::vector<std::vector<std::byte>> damaged;
    for (const std::size_t quarter : {1, 2, 3}) damaged.emplace_back(bytes.begin(), bytes.begin() + bytes.size() * quarter / 4);
    if (flip) damaged.push_back(bytes);
    if (flip) damaged.back()[bytes.size() / 2] ^= std::byte{0x10};
    for (const auto& bad : damaged) {
      terminal.Write(std::string("bad.") + extension, bad);
      SCOPED_TRACE(name + " of " + std::to_string(bad.size()) + " bytes");
      ExpectFailure(Prepare(std::string("bad.") + extension).outcome, 1, "bad." + std::string(extension) + ": damaged picture: ");
    }
  }
  terminal.WriteText("notes.png", "not a picture");
  ExpectFailure(Prepare("notes.png").outcome, 1,
                "notes.png: not a picture that prepare reads (JPEG, PNG, GIF, WebP, TIFF, HEIC, AVIF, SVG, PDF and BMP)");
  EXPECT_EQ(std::tuple(Prepare("missing.png").code(), Prepare("bands.png", "zoom").code()), std::tuple(4, 2));
  ExpectFailure(Tool({"prepare", (terminal / "bands.png").string(), (terminal / "none/out.bmp").string()}), 4,
                "No such file or directory");
  EXPECT_FALSE(fs::exists(output));
  EXPECT_EQ(TemporaryFiles(terminal.root()), 0);
}

// A logo drawn as SVG, or that drawing as a one-page PDF, is rendered at the
// logo's size: within 2 levels a channel, on average, of librsvg's own rendering at
// 800 x 480, which a drawing rendered at its own small size and scaled up is not
// (its stripes' edges blur). Fitted, a square drawing has bars of the background.
TEST_F(PrepareBands, AnSvgOrPdfDrawingIsRenderedAtTheLogosSizeAsSharpAsLibrsvgRendersIt) {
  const fs::path svg = terminal / "stripes.svg";
  terminal.WriteText("stripes.svg",
                     "<?xml version=\"1.0\"?>\n<!-- a square of thin stripes and a ring -->\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"40\">"
                     "<rect x=\"0\" width=\"4\" height=\"40\" fill=\"#c00\"/><rect x=\"8\" width=\"4\" height=\"40\" fill=\"#0a0\"/>"
                     "<rect x=\"16\" width=\"4\" height=\"40\" fill=\"#00c\"/><rect x=\"24\" width=\"4\" height=\"40\" fill=\"#cc0\"/>"
                     "<circle cx=\"20\" cy=\"20\" r=\"9\" fill=\"none\" stroke=\"#333\" stroke-width=\"1.5\"/></svg>\n");
  ASSERT_EQ(Shell("rsvg-convert -w 800 -h 480 -b white " + Quoted(svg) + " -o " + Quoted(terminal / "expected.png") +
                  " && rsvg-convert -f pdf " + Quoted(svg) + " -o " + Quoted(terminal / "drawing.pdf")),
            0)
      << "rsvg-convert (librsvg2-bin) is needed";
  Magick(Quoted(terminal / "expected.png") + " -depth 8 rgb:" + Quoted(terminal / "expected.rgb"));
  const auto expected = bramble::test::ReadFileBytes(terminal / "expected.rgb");
  ASSERT_EQ(expected.size(), 800u * 480 * 3);
  for (const fs::path& drawing : {svg, terminal / "drawing.pdf"}) {
    SCOPED_TRACE(drawing.string());
    const Prepared stretched = Prepare(drawing.string(), "stretch", "white"), fitted = Prepare(drawing.string(), "", "navy");
    ASSERT_EQ(std::tuple(stretched.code(), fitted.code()), std::tuple(0, 0)) << stretched.outcome.err;
    long difference = 0;
    for (std::size_t i = 0; i < stretched.pixels.size(); ++i) {
      for (const int shift : {16, 8, 0}) {
        difference += std::abs(static_cast<int>((stretched.pixels[i] >> shift) & 0xFF) -
                               std::to_integer<int>(expected[3 * i + static_cast<std::size_t>(2 - shift / 8)]));
      }
    }
    EXPECT_LE(static_cast<double>(difference) / static_cast<double>(expected.size()), 2.0);
    EXPECT_EQ(std::tuple(fitted.at(10, 240), fitted.at(790, 240)), std::tuple(0xFF000080u, 0xFF000080u));
  }
  // However large a drawing says it is, it is drawn at the logo's size, not refused.
  terminal.WriteText("wall.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100000\" height=\"60000\">"
                                 "<rect width=\"100%\" height=\"100%\" fill=\"red\"/></svg>");
  const Prepared wall = Prepare("wall.svg");
  EXPECT_TRUE(wall.code() == 0 && wall.at(400, 240) == kRed) << wall.outcome.err;
}

// Profiles made from their published primaries and white point, so that no
// profile file need be installed.
void WriteProfile(const fs::path& file, const cmsCIExyYTRIPLE& primaries, const cmsToneCurve* curve) {
  const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  const cmsToneCurve* curves[3] = {curve, curve, curve};
  const std::unique_ptr<void, decltype(&cmsCloseProfile)> profile(
      cmsCreateRGBProfile(&d65, &primaries, const_cast<cmsToneCurve**>(curves)), cmsCloseProfile);
  ASSERT_TRUE(profile && cmsSaveProfileToFile(profile.get(), file.c_str()));
}

// The pixels of a tagged photo are not sRGB pixels: prepared, they come out as
// ImageMagick's own conversion to sRGB makes them, within 3 levels (both use lcms2
// but round at different steps), and unlike the same pixels untagged.
TEST_F(PrepareBands, AColourProfileIsTakenToSrgbAndAnUntaggedPictureIsSrgb) {
  using Curve = std::unique_ptr<cmsToneCurve, decltype(&cmsFreeToneCurve)>;
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  const Curve srgb(cmsBuildParametricToneCurve(nullptr, 4, srgbCurve), cmsFreeToneCurve);
  const Curve adobe(cmsBuildGamma(nullptr, 563.0 / 256), cmsFreeToneCurve);
  WriteProfile(terminal / "sRGB.icc", {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, srgb.get());
  WriteProfile(terminal / "AdobeRGB.icc", {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, adobe.get());
  Magick("-size 80x48 xc:'rgb(200,60,30)' -fill 'rgb(40,170,90)' -draw 'rectangle 40,0 79,47' -type truecolor " +
         Quoted(terminal / "plain.png"));
  const Prepared plain = Prepare("plain.png");
  ASSERT_EQ(plain.code(), 0);
  EXPECT_EQ(std::tuple(plain.at(200, 240), plain.at(600, 240)), std::tuple(0xFFC83C1Eu, 0xFF28AA5Au));
  Magick(Quoted(terminal / "plain.png") + " -profile " + Quoted(terminal / "AdobeRGB.icc") + " " + Quoted(terminal / "tagged.png"));
  Magick(Quoted(terminal / "tagged.png") + " -profile " + Quoted(terminal / "sRGB.icc") + " " + Quoted(terminal / "converted.png"));
  const Prepared tagged = Prepare("tagged.png"), converted = Prepare("converted.png");
  ASSERT_EQ(std::tuple(tagged.code(), converted.code()), std::tuple(0, 0));
  for (const int x : {200, 600}) {
    EXPECT_TRUE(Near(tagged.at(x, 240), converted.at(x, 240), 3)) << std::hex << tagged.at(x, 240);
    EXPECT_FALSE(Near(tagged.at(x, 240), plain.at(x, 240), 8)) << std::hex << tagged.at(x, 240);
  }
}

// 48 megapixels, stored on its side with an orientation tag: turned upright it
// is 8000 x 6000 with a lime band of 1000 columns on the left, and fitted it
// keeps its proportions: 640 x 480 between bars of 80 columns.
TEST_F(PrepareBands, APhotoOfFortyEightMegapixelsIsTurnedUprightAndFittedInProportion) {
  Magick("-size 6000x8000 xc:red -fill lime -draw 'rectangle 0,7000 5999,7999' -quality 90 " + Quoted(terminal / "side.jpg"));
  // An Exif segment whose one field is the orientation 6 (turn clockwise), put
  // behind the start-of-image marker.
  const auto exif = bramble::test::Bytes(std::string("\xFF\xE1\x00\x22" "Exif\0\0" "II*\0\x08\0\0\0" "\x01\0"
                                                     "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0" "\0\0\0\0", 36));
  auto photo = bramble::test::ReadFileBytes(terminal / "side.jpg");
  photo.insert(photo.begin() + 2, exif.begin(), exif.end());
  terminal.Write("photo.jpg", photo);
  const Prepared fitted = Prepare("photo.jpg");
  ASSERT_EQ(fitted.code(), 0) << fitted.outcome.err;
  EXPECT_TRUE(Contains(fitted.outcome.out, "(8000 \u00D7 6000, fit)")) << fitted.outcome.out;
  // The band, 1000 of 8000 columns, is 80 of 640.
  for (const auto& [x, y, colour] : {std::tuple(0, 240, kBlack), {79, 0, kBlack}, {84, 240, kLime}, {155, 479, kLime},
                                     {165, 0, kRed}, {715, 240, kRed}, {720, 479, kBlack}}) {
    EXPECT_TRUE(Near(fitted.at(x, y), colour, 12)) << x << "," << y << std::hex << " " << fitted.at(x, y);
  }
}

}  // namespace

// Where libvips has no HEIF module, a phone's photo is named for what it is.
TEST_F(PrepareBands, APictureThisBuildCannotReadIsNamed) {
  Magick(Quoted(terminal / "bands.png") + " " + Quoted(terminal / "phone.heic"));
  const Outcome run = ShellOutcome("BRAMBLE_VIPS_MODULE_DIR=" + Quoted(terminal / "none") + " " + kTool + " prepare " +
                                   Quoted(terminal / "phone.heic") + " " + Quoted(output));
  EXPECT_EQ(std::tuple(run.code, run.err), std::tuple(1, "bramble-logo: " + (terminal / "phone.heic").string() +
                                                             ": a HEIC picture: this build reads JPEG, PNG, GIF, WebP, TIFF, SVG and BMP\n"));
  EXPECT_FALSE(fs::exists(output));
}
