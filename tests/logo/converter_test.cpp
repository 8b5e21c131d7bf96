#include "logo/converter.h"

#include <gtest/gtest.h>

#include "platform/formats/little_endian.h"
#include "tests/logo/large_blocks.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using Outcome = std::pair<int, std::string>;  // result, printed

const std::string kSizeLine = "width=800, height=480!!!!!\r\n";

Outcome Convert(int selector, const CString& path = _T("\\SDMMC DISK\\logo.bmp")) {
  testing::internal::CaptureStdout();
  const int result = logo::ConvertBitmapToLogo(selector, path);
  return {result, testing::internal::GetCapturedStdout()};
}

// Output pixel (x, y) holds the three bytes at (479 - y) * 2400 + x * 3 past the
// pixel-data offset, then a zero; bytes the file does not have are zero.
std::vector<std::byte> ExpectedLogo(const std::vector<std::byte>& bmp) {
  const std::size_t offset = *platform::LittleEndianReader(bmp).u32(10);
  std::vector<std::byte> logo(1'536'000);
  for (std::size_t y = 0; y < 480; ++y)
    for (std::size_t x = 0; x < 800; ++x)
      for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t from = offset + (479 - y) * 2400 + x * 3 + k;
        if (from < bmp.size()) logo[(y * 800 + x) * 4 + k] = bmp[from];
      }
  return logo;
}

std::vector<std::byte> CutShort() {
  auto cut = BuildBitmap({});
  cut.resize(54 + 2 * 2400 + 1000);  // ends inside a pixel
  return cut;
}
std::vector<std::byte> PixelsPastTheEnd() { return Patched(BuildBitmap({}), {"offset past the end", 10, 0xFFFFFF00u}); }

TEST(Converter, BitmapsConvertByteForByteFromTheirOffsetAndTheDefaultLogosMissingPixelsAreZero) {
  TempTerminal terminal;
  terminal.MakeCard();
  // The default logo (selector 0) has no pre-check to pass: what it lacks is black.
  const std::pair<int, std::vector<std::byte>> bitmaps[] = {
      {0, CutShort()}, {0, PixelsPastTheEnd()}, {1, BuildBitmap({})},
      {1, BuildBitmap({.infoHeaderSize = 124})}, {1, BuildBitmap({.paletteEntries = 16, .extraGap = 6})}};
  for (const auto& [selector, bmp] : bitmaps) {
    const std::string folder = selector ? "SDMMC DISK/" : "ResidentFlash/System/";
    terminal.Write(folder + "logo.bmp", bmp);
    EXPECT_EQ(Convert(selector), Outcome(0, kSizeLine));
    EXPECT_TRUE(ReadFileBytes(terminal / (folder + "logo.bin")) == ExpectedLogo(bmp)) << selector;
  }
}

TEST(Converter, RefusedSourcesAndUnwritableOutputsSayWhyAndLeaveNoPartialLogoBin) {
  const auto good = BuildBitmap({});
  const std::string badSize = "ERROR: Not support size!!!!!\r\n", badDepth = "ERROR: Not RGB888 file\r\n";
  const std::pair<std::vector<std::byte>, std::string> cases[] = {
      {BuildBitmap({.signature = false}), "ERROR: Not BMP file\r\n"},
      {std::vector(good.begin(), good.begin() + 29), "ERROR: Not BMP file\r\n"},
      {BuildBitmap({.height = -480}), "width=800, height=-480!!!!!\r\n" + badSize},
      {BuildBitmap({.width = 640, .bitCount = 8}), "width=640, height=480!!!!!\r\n" + badSize},
      {BuildBitmap({.bitCount = 32}), kSizeLine + badDepth},
      {Patched(good, {"bit count 24 + 256", 28, 24 + 256, 2}), kSizeLine + badDepth},
      // The card's logo.bmp passed the pre-check: cut short since, it is refused.
      {CutShort(), kSizeLine + "ERROR: Not enough pixel data\r\n"},
      {PixelsPastTheEnd(), kSizeLine + "ERROR: Not enough pixel data\r\n"},
  };
  TempTerminal terminal;
  const fs::path output = terminal / "SDMMC DISK/logo.bin";
  for (const auto& [bmp, printed] : cases) {
    terminal.Write("SDMMC DISK/logo.bmp", bmp);
    fs::remove(output);
    EXPECT_EQ(Convert(1), Outcome(2, printed));
    EXPECT_FALSE(fs::exists(output));
    terminal.WriteText("SDMMC DISK/logo.bin", "earlier logo");
    EXPECT_EQ(Convert(1), Outcome(2, printed));
    EXPECT_EQ(ReadFileBytes(output), Bytes("earlier logo"));
  }

  // An output that cannot be written gives 3, and no partial file.
  terminal.Write("ResidentFlash/System/logo.bmp", BuildBitmap({}));
  fs::create_directory(terminal / "ResidentFlash/System/logo.bin");
  EXPECT_EQ(Convert(0), Outcome(3, kSizeLine + "ERROR: fopen fail [\\ResidentFlash\\System\\logo.bin]\r\n"));

  terminal.Write("SDMMC DISK/logo.bmp", BuildBitmap({}));
#ifndef _WIN32  // Linux has a device for a full card
  fs::remove(output);
  fs::create_symlink("/dev/full", output);
  EXPECT_EQ(Convert(1), Outcome(3, kSizeLine + "ERROR: write fail [\\SDMMC DISK\\logo.bin]\r\n"));
  ASSERT_FALSE(fs::exists(fs::symlink_status(output)));  // else the rest reads /dev/full
#endif

  terminal.WriteText("SDMMC DISK/logo.bin", "earlier logo");
  logo_test::RefuseLargeBlocks(true);
  const Outcome outOfMemory = Convert(1);
  logo_test::RefuseLargeBlocks(false);
  EXPECT_EQ(outOfMemory, Outcome(3, kSizeLine + "ERROR: malloc fail\r\n"));
  EXPECT_EQ(ReadFileBytes(output), Bytes("earlier logo"));
}

TEST(Converter, SelectorPicksTheFilesAndFailedOpensNameTheNarrowPath) {
  TempTerminal terminal;
  terminal.Write("SDMMC DISK/logo.bmp", BuildBitmap({}, [](int, int) { return 0x123456u; }));
  EXPECT_EQ(Convert(1, _T("")), Outcome(1, "ERROR: fopen fail []\r\n"));
  EXPECT_EQ(Convert(1, _T("\\SDMMC DISK\\로고.bmp")), Outcome(1, "ERROR: fopen fail [\\SDMMC DISK\\\xB7\xCE\xB0\xED.bmp]\r\n"));
  EXPECT_EQ(Convert(0), Outcome(1, "ERROR: fopen fail [\\ResidentFlash\\System\\logo.bmp]\r\n"));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));

  terminal.Write("ResidentFlash/System/logo.bmp", BuildBitmap({}));
  EXPECT_EQ(Convert(0), Outcome(0, kSizeLine));  // the image path is not used
  EXPECT_EQ(std::tuple(fs::exists(terminal / "ResidentFlash/System/logo.bin"), fs::exists(terminal / "SDMMC DISK/logo.bin")),
            std::tuple(true, false));
  terminal.Write("SDMMC DISK/로고.bmp", BuildBitmap({}));
  EXPECT_EQ(Convert(1, _T("\\SDMMC DISK\\로고.bmp")), Outcome(0, kSizeLine));
}

}  // namespace
