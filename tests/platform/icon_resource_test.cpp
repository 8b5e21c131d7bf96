#include "platform/icon_resource.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <filesystem>

#include "platform/little_endian.h"
#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::byte>;

const fs::path kIconFile = fs::path(__FILE__).parent_path().parent_path().parent_path() / "app" / "bramble.ico";

TEST(IconResource, CommittedIconHoldsNineImagesThatQtReadsAlike) {
  const auto images = platform::DecodeIconGroup(bramble::test::ReadFileBytes(kIconFile));
  ASSERT_EQ(images.size(), 9u);
  QImageReader reader(QString::fromStdString(kIconFile.string()), "ico");
  ASSERT_EQ(reader.imageCount(), 9);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto& ours = images[i];
    EXPECT_EQ(ours.width, (std::array{48, 32, 16}[i % 3])) << i;
    EXPECT_EQ(ours.height, ours.width) << i;
    EXPECT_EQ(ours.bitCount, (std::array{4, 8, 24}[i / 3])) << i;
    ASSERT_TRUE(reader.jumpToImage(static_cast<int>(i)));
    const QImage theirs = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(theirs.width(), ours.width);
    // Qt leaves 24-bit icon images opaque; every depth of one size is drawn from
    // the same picture, so the 4-bit image's mask (checked against Qt) stands in.
    const auto& maskSource = ours.bitCount == 24 ? images[i % 3] : ours;
    int differing = 0;
    for (int y = 0; y < ours.height; ++y) {
      for (int x = 0; x < ours.width; ++x) {
        const std::size_t at = static_cast<std::size_t>(y * ours.width + x);
        const bool transparent = (maskSource.pixels[at] >> 24) == 0;
        const std::uint32_t their = theirs.pixel(x, y);
        const bool same = transparent ? (ours.pixels[at] >> 24) == 0 && (ours.bitCount == 24 || qAlpha(their) == 0)
                                      : ours.pixels[at] == their;
        differing += same ? 0 : 1;
      }
    }
    EXPECT_EQ(differing, 0) << "image " << i;
    EXPECT_EQ(ours.pixels.front() >> 24, 0u) << "a rounded corner shows the background";
    EXPECT_EQ(ours.pixels[ours.pixels.size() / 2 + std::size_t(ours.width / 2)] >> 24, 0xFFu) << "the emblem is opaque";
  }
}

// A group of `copies` entries that all point at image `index` of the committed icon.
Bytes RepeatedImage(int index, std::size_t copies) {
  const Bytes icon = bramble::test::ReadFileBytes(kIconFile);
  const platform::LittleEndianReader in(icon);
  const std::size_t entry = 6 + 16 * static_cast<std::size_t>(index);
  const std::uint32_t size = *in.u32(entry + 8), offset = *in.u32(entry + 12);
  Bytes group(6 + 16 * copies);
  platform::PutU16(&group[2], 1);
  platform::PutU16(&group[4], static_cast<std::uint16_t>(copies));
  for (std::size_t i = 0; i < copies; ++i) {
    std::copy_n(icon.begin() + static_cast<std::ptrdiff_t>(entry), 16,
                group.begin() + static_cast<std::ptrdiff_t>(6 + 16 * i));
    platform::PutU32(&group[6 + 16 * i + 12], static_cast<std::uint32_t>(group.size()));
  }
  group.insert(group.end(), icon.begin() + offset, icon.begin() + offset + size);
  return group;
}

TEST(IconResource, DamagedDirectoriesAndImagesAreRefused) {
  const Bytes good = RepeatedImage(1, 2);  // 32 x 32 at 4 bits, twice
  ASSERT_EQ(platform::DecodeIconGroup(good).size(), 2u);
  const std::size_t image = 6 + 2 * 16;
  const bramble::test::FieldPatch patches[] = {
      {"reserved field", 0, 1, 2},                   {"a cursor", 2, 2, 2},
      {"no images", 4, 0, 2},                        {"entries past the end", 4, 4000, 2},
      {"entry width", 6, 31, 1},                     {"entry height", 7, 0, 1},
      {"image size past the end", 14, 0xFFFFFFF0},   {"image cut short", 14, 200},
      {"image offset past the end", 18, 0xFFFFFFF0}, {"image offset in the directory", 34, 0},
      {"height not doubled", image + 8, 32},         {"odd stored height", image + 8, 63},
      {"stored top-down", image + 8, static_cast<std::uint32_t>(-64)},
      {"PNG image", image, 0x474E5089},              {"bit count 2", image + 14, 2, 2},
      {"run-length compressed", image + 16, 2},
  };
  for (const auto& patch : patches) EXPECT_TRUE(platform::DecodeIconGroup(bramble::test::Patched(good, patch)).empty()) << patch.what;
  for (std::size_t length = 0; length < good.size(); ++length) {
    EXPECT_TRUE(platform::DecodeIconGroup(std::span(good).first(length)).empty()) << length;
  }
}

TEST(IconResource, GroupsOfMoreThanSixtyFourImagesAreRefused) {
  // Entries may share one image, so a small file could otherwise ask for any
  // number of decoded copies.
  EXPECT_EQ(platform::DecodeIconGroup(RepeatedImage(8, 64)).size(), 64u);
  EXPECT_TRUE(platform::DecodeIconGroup(RepeatedImage(8, 65)).empty());
}

}  // namespace
