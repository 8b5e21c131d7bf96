#include "logo/precheck.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/formats/little_endian.h"
#include "tests/logo/large_blocks.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using logo::LoadAndCheckBitmap;
using logo::WriteStartupImage;

constexpr const WCHAR* kCardBmp = _T("\\SDMMC DISK\\logo.bmp");
const logo::KeptBitmap& kept = logo::KeptBitmapState();

bool Check(const TempTerminal& terminal, const std::vector<std::byte>& file) {
  terminal.Write("SDMMC DISK/logo.bmp", file);
  return LoadAndCheckBitmap(kCardBmp);
}

TEST(PreCheck, TheThreeHeaderNumbersAndWholePixelDataDecideAndOneBufferKeepsEveryFileThatOpens) {
  TempTerminal terminal;
  std::vector<std::byte> bare(30 + 1'152'000);  // no signature, pixels right behind the fields
  platform::PutU32(&bare[10], 30);
  platform::PutU32(&bare[18], 800);
  platform::PutU32(&bare[22], 480);
  platform::PutU16(&bare[28], 24);
  EXPECT_TRUE(Check(terminal, bare));
  EXPECT_EQ(kept.PixelData().size(), 1'152'000u);
  // A copy to the card that was cut short, anywhere in its pixels.
  for (std::size_t eighth = 0; eighth < 8; ++eighth) {
    EXPECT_FALSE(Check(terminal, std::vector(bare.begin(), bare.begin() + 30 + eighth * 144'000))) << eighth;
    EXPECT_EQ(std::tuple(kept.loaded, kept.passed, kept.width), std::tuple(true, false, 800));
  }
  EXPECT_FALSE(Check(terminal, Patched(bare, {"pixels past the end", 10, 0xFFFFFFF0u})));
  EXPECT_TRUE(kept.PixelData().empty());

  const auto deep = BuildBitmap({.bitCount = 32});
  EXPECT_FALSE(Check(terminal, deep));
  EXPECT_EQ(std::tuple(kept.loaded, kept.passed, std::ranges::equal(kept.File(), deep), kept.PixelData().data()),
            std::tuple(true, false, true, kept.File().data() + 54));
  EXPECT_FALSE(Check(terminal, BuildBitmap({.height = -480})));
  EXPECT_EQ(kept.height, -480);
  EXPECT_FALSE(Check(terminal, std::vector(bare.begin(), bare.begin() + 29)));
  EXPECT_EQ(std::tuple(kept.File().size(), kept.PixelData().size()), std::tuple(29u, 0u));

  // A file over 64 MiB is refused before anything of it is read.
  terminal.Write("SDMMC DISK/logo.bmp", bare);
  std::filesystem::resize_file(terminal / "SDMMC DISK/logo.bmp", (std::uintmax_t{64} << 20) + 1);  // sparse
  EXPECT_FALSE(LoadAndCheckBitmap(kCardBmp));
  EXPECT_EQ(std::tuple(kept.loaded, kept.File().size()), std::tuple(true, 0u));

  // One buffer: the old one goes before the new comes, and only a file that opens replaces it.
  ASSERT_TRUE(Check(terminal, BuildBitmap({})));
  const std::size_t live = logo_test::LiveLargeBlocks();
  logo_test::ResetLargeBlockPeak();
  ASSERT_TRUE(LoadAndCheckBitmap(kCardBmp));
  EXPECT_EQ(std::tuple(logo_test::PeakLargeBlocks(), logo_test::LiveLargeBlocks()), std::tuple(live, live));

  const std::byte* buffer = kept.buffer.get();
  EXPECT_FALSE(LoadAndCheckBitmap(_T("\\SDMMC DISK\\missing.bmp")));
  EXPECT_FALSE(LoadAndCheckBitmap(_T("\\SDMMC DISK\\")));
  EXPECT_EQ(std::tuple(kept.buffer.get(), kept.passed), std::tuple(buffer, true));

  // Without memory for the new file, the one that passed before is not taken for it either.
  logo_test::RefuseLargeBlocks(true);
  EXPECT_FALSE(LoadAndCheckBitmap(kCardBmp));
  logo_test::RefuseLargeBlocks(false);
  EXPECT_EQ(std::tuple(kept.loaded, kept.passed, kept.File().size()), std::tuple(true, false, 0u));
}

TEST(StartupImage, TruncateModeLeavesAnEmptyFileWhereTheCardIsAndConversionNeedsAPassingPreCheck) {
  TempTerminal terminal;
  const fs::path startup = terminal / "SDMMC DISK/startup.raw";
  EXPECT_FALSE(WriteStartupImage(1));
  terminal.MakeCard();
  EXPECT_TRUE(WriteStartupImage(1));
  EXPECT_EQ(fs::file_size(startup), 0u);
  terminal.WriteText("SDMMC DISK/startup.raw", "an earlier startup image");
  EXPECT_TRUE(WriteStartupImage(-1));
  EXPECT_EQ(fs::file_size(startup), 0u);
  fs::remove(startup);

  EXPECT_FALSE(Check(terminal, BuildBitmap({.bitCount = 32})));
  EXPECT_FALSE(WriteStartupImage(0));
  EXPECT_FALSE(fs::exists(startup));
  terminal.WriteText("SDMMC DISK/startup.raw", "earlier");
  EXPECT_FALSE(WriteStartupImage(0));
  EXPECT_EQ(ReadFileBytes(startup), Bytes("earlier"));

  // Three corners in pure channels, the rest in one colour whose low bits RGB565 drops.
  ASSERT_TRUE(Check(terminal, BuildBitmap({.infoHeaderSize = 124}, [](int x, int y) {
    return x + y == 0 ? 0xFF0000u : x == 799 && y == 0 ? 0x00FF00u : x == 0 && y == 479 ? 0x0000FFu : 0x123456u;
  })));
  EXPECT_TRUE(WriteStartupImage(0));
  const auto image = ReadFileBytes(startup);  // the tool's writer: tests/tools
  ASSERT_EQ(image.size(), 768'000u);
  const auto at = [&image](int x, int y) {  // low byte first, top row first
    const std::size_t i = static_cast<std::size_t>(y * 800 + x) * 2;
    return std::to_integer<int>(image[i]) | std::to_integer<int>(image[i + 1]) << 8;
  };
  EXPECT_EQ(std::tuple(at(0, 0), at(799, 0), at(0, 479), at(799, 479), at(400, 240)),
            std::tuple(0xF800, 0x07E0, 0x001F, 0x11AA, 0x11AA));

#ifndef _WIN32  // Linux has a device for a full card
  fs::remove(startup);
  fs::create_symlink("/dev/full", startup);
  EXPECT_FALSE(WriteStartupImage(0));
  EXPECT_FALSE(fs::exists(fs::symlink_status(startup)));
#endif
}

}  // namespace
