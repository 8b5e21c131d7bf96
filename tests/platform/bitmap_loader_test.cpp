#include "platform/sim/bitmap_loader.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/formats/little_endian.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"

namespace {

namespace fs = std::filesystem;
using namespace bramble::test;
using platform::DecodeBitmap;
using Bytes = std::vector<std::byte>;

QImage ReadWithQt(const Bytes& file) {
  return QImage::fromData(reinterpret_cast<const uchar*>(file.data()), static_cast<int>(file.size()), "BMP")
      .convertToFormat(QImage::Format_RGB32);
}

// Readers widen channels narrower than 8 bits differently (Qt shifts, we scale
// to full range), so only the top `bits` of each channel are compared.
void ExpectPixelsLikeQt(const platform::DecodedBitmap& ours, const QImage& theirs, int bits, const std::string& name) {
  ASSERT_EQ(std::tuple(theirs.isNull(), ours.width, std::abs(ours.height)), std::tuple(false, theirs.width(), theirs.height()))
      << name;
  const std::uint32_t keep = (0xFFu << (8 - bits)) & 0xFF;
  const std::uint32_t channels = keep << 16 | keep << 8 | keep;
  int differing = 0;
  for (int y = 0; y < theirs.height(); ++y) {
    for (int x = 0; x < theirs.width(); ++x) {
      const std::uint32_t our = ours.pixels[static_cast<std::size_t>(y * ours.width + x)];
      const std::uint32_t their = theirs.pixel(x, y);
      const bool same = (our >> 24) == 0xFF && (our & channels) == (their & channels);
      if (!same && differing++ == 0)
        ADD_FAILURE() << name << " (" << x << ", " << y << "): " << std::hex << our << " vs " << their;
    }
  }
  EXPECT_EQ(differing, 0) << name;
}

TEST(BmpSuite, GoodFilesDecodeLikeQtAndRunLengthAndOs2FilesAreRefused) {
  // The public bitmap suite, kept in tests/data; BRAMBLE_BMPSUITE names another copy.
  const char* other = std::getenv("BRAMBLE_BMPSUITE");
  const fs::path suite = other && *other ? fs::path(other) : fs::path(BRAMBLE_BMPSUITE_DIR);
  std::vector<fs::path> files(fs::directory_iterator(suite / "g"), {});
  ASSERT_GE(files.size(), 27u) << "the bitmap suite's good files at " << suite;
  std::ranges::sort(files);
  for (const auto& path : files) {
    const std::string name = path.filename().string();
    const Bytes file = ReadFileBytes(path);
    const auto decoded = DecodeBitmap(file);
    if (name.find("rle") != std::string::npos || name.find("os2") != std::string::npos) {
      EXPECT_FALSE(decoded) << name;
      continue;
    }
    ASSERT_TRUE(decoded) << name;
    EXPECT_EQ(decoded->bitCount, platform::LittleEndianReader(file).u16(28)) << name;
    EXPECT_EQ(decoded->height < 0, name.find("topdown") != std::string::npos) << name;
    ExpectPixelsLikeQt(*decoded, ReadWithQt(file), decoded->bitCount == 16 ? 5 : 8, name);
  }
}

TEST(BitmapLoader, EachHostileHeaderFieldAndEveryTruncationIsRefused) {
  const FieldPatch patches[] = {
      {"signature", 0, 0x4142, 2},                {"offset before the headers", 10, 0},
      {"offset past the end", 10, 10000},         {"offset at 4 GiB", 10, 0xFFFFFFFF},
      {"OS/2 header", 14, 12},                    {"OS/2 2.x header", 14, 64},
      {"header size 0", 14, 0},                   {"header past the end", 14, 0xFFFFFFF0},
      {"zero width", 18, 0},                      {"negative width", 18, static_cast<std::uint32_t>(-6)},
      {"huge width", 18, 16385},                  {"zero height", 22, 0},
      {"huge height", 22, 16385},                 {"huge top-down height", 22, static_cast<std::uint32_t>(-16385)},
      {"INT_MIN height", 22, 0x80000000},         {"rows longer than the file", 18, 16384},
      {"planes 0", 26, 0, 2},                     {"planes 2", 26, 2, 2},
      {"bit count 0", 28, 0, 2},                  {"bit count 2", 28, 2, 2},
      {"bit count 7", 28, 7, 2},                  {"bit count 64", 28, 64, 2},
      {"RLE8", 30, 1},                            {"RLE4", 30, 2},
      {"bit fields at 8 bits", 30, 3},            {"JPEG", 30, 4},
      {"PNG", 30, 5},                             {"alpha bit fields", 30, 6},
      {"257 colours", 46, 257},                   {"colour table past the pixels", 46, 200},
      {"colour table at 4 G", 46, 0xFFFFFFFF},
  };
  const Bytes good = BuildBitmap({.width = 6, .height = 5, .bitCount = 8, .paletteEntries = 100});
  ASSERT_TRUE(DecodeBitmap(good));
  for (const auto& patch : patches) EXPECT_FALSE(DecodeBitmap(Patched(good, patch))) << patch.what;
  // Passes every check but the file's real size, so allocating first would show.
  EXPECT_FALSE(DecodeBitmap(Patched(Patched(good, {"", 18, 16384}), {"", 22, static_cast<std::uint32_t>(-16384)})));

  for (const auto& layout : {BitmapLayout{.width = 5, .height = 3, .bitCount = 4, .paletteEntries = 16},
                           BitmapLayout{.width = 3, .height = -2, .bitCount = 32, .infoHeaderSize = 124}}) {
    const Bytes full = BuildBitmap(layout);
    ASSERT_TRUE(DecodeBitmap(full));
    for (std::size_t length = 0; length < full.size(); ++length)
      EXPECT_FALSE(DecodeBitmap(std::span(full).first(length))) << length;
  }
}

}  // namespace
