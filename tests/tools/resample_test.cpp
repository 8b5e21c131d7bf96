// The Windows codec's own picture work, checked on Linux against values worked
// out by hand: the eight EXIF orientations, areas averaged, Catmull-Rom where
// libvips samples, transparency over the background, and the metadata of hostile
// JPEG bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_terminal.h"
#include "tools/bramble_logo/picture_metadata.h"
#include "tools/bramble_logo/resample.h"

namespace {

using namespace logo_tool;
using bramble::test::Bytes;

// A line of grey pixels (alpha as given) scaled to `scaled` pixels across, one down.
std::vector<int> ScaleLine(const std::vector<int>& greys, int scaled, unsigned char alpha = 255) {
  std::vector<unsigned char> rgba;
  for (const int grey : greys) rgba.insert(rgba.end(), {static_cast<unsigned char>(grey), 0, 0, alpha});
  const int width = static_cast<int>(greys.size());
  const Placement place{scaled, 1, 0, 0, scaled, 1, 0, 0};
  const std::vector<unsigned char> out = Resample({rgba.data(), width, 1, rgba.size()}, kUpright, place);
  std::vector<int> result;
  for (std::size_t at = 0; at < out.size(); at += 4) result.push_back(out[at]);
  return result;
}

TEST(Resample, EachOrientationTurnsTheStoredPixelsUpright) {
  // Stored: 1 2 / 3 4.
  const unsigned char stored[] = {1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255, 4, 0, 0, 255};
  const std::string upright[] = {"1234", "2143", "4321", "3412", "1324", "3142", "4231", "2413"};
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::vector<unsigned char> out =
        Resample({stored, 2, 2, 8}, orientation, Placement{2, 2, 0, 0, 2, 2, 0, 0});
    std::string order;
    for (std::size_t at = 0; at < out.size(); at += 4) order += static_cast<char>('0' + out[at]);
    EXPECT_EQ(order, upright[orientation - 1]) << "orientation " << orientation;
  }
  // Stored as a column 1 2 3, upright 3 2 1: the last two of it are stored first.
  const std::vector<unsigned char> cut = Resample({stored, 1, 3, 4}, 6, Placement{3, 1, 1, 0, 2, 1, 0, 0});
  EXPECT_EQ(std::vector<int>({cut[0], cut[4]}), (std::vector<int>{2, 1}));
}

TEST(Resample, ShrinkingAveragesAreasAndEnlargingInterpolatesWhereVipsSamples) {
  EXPECT_EQ(ScaleLine({10, 30, 100, 200}, 2), (std::vector<int>{20, 150}));
  // Three into two: the middle pixel is shared half and half.
  EXPECT_EQ(ScaleLine({0, 90, 180}, 2), (std::vector<int>{30, 150}));
  // Samples at -0.5, 0, 0.5, 1 of the source: the first overshoots below black.
  EXPECT_EQ(ScaleLine({0, 255}, 4), (std::vector<int>{0, 0, 128, 255}));
}

TEST(Resample, TransparentPixelsLendNoColourAndTheBackgroundShowsThrough) {
  // Half of the area is a transparent white: the red stays red, half covering.
  const unsigned char pixels[] = {200, 0, 0, 255, 255, 255, 255, 0};
  const Placement half{1, 1, 0, 0, 1, 1, 0, 0};
  const std::vector<unsigned char> out = Resample({pixels, 2, 1, 8}, kUpright, half);
  EXPECT_EQ(std::vector<int>(out.begin(), out.end()), (std::vector<int>{200, 0, 0, 128}));
  std::vector<unsigned char> logo(800 * 480 * 3);
  const Placement corner{1, 1, 0, 0, 1, 1, 799, 479};
  EXPECT_TRUE(Compose(out, corner, 0x0040FF, logo.data()));
  EXPECT_EQ(std::vector<int>(logo.end() - 6, logo.end()), (std::vector<int>{0, 64, 255, 100, 32, 127}));
  EXPECT_FALSE(Compose(std::vector<unsigned char>{1, 2, 3, 255}, corner, 0, logo.data()));
}

TEST(Resample, FitFillAndStretchPlaceThePictureAsVipsDoes) {
  const auto place = [](int width, int height, int fit) {
    const Placement p = PlaceOnLogo(width, height, fit);
    return std::vector<int>{p.scaledWidth, p.scaledHeight, p.cropX, p.cropY, p.width, p.height, p.left, p.top};
  };
  EXPECT_EQ(place(1600, 1200, 0), (std::vector<int>{800, 480, 0, 0, 800, 480, 0, 0}));
  EXPECT_EQ(place(1600, 1200, 1), (std::vector<int>{640, 480, 0, 0, 640, 480, 80, 0}));
  EXPECT_EQ(place(1600, 1200, 2), (std::vector<int>{800, 600, 0, 60, 800, 480, 0, 0}));
  EXPECT_EQ(place(100, 30, 1), (std::vector<int>{800, 240, 0, 0, 800, 240, 0, 120}));
}

TEST(PictureMetadata, OrientationSizeAndProfileComeFromWellFormedSegmentsOnly) {
  const std::string soi = "\xFF\xD8", app0 = std::string("\xFF\xE0\x00\x04\x01\x02", 6);
  const auto exif = [](const std::string& tiff) {
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    return std::string("\xFF\xE1") + char((body.size() + 2) >> 8) + char(body.size() + 2) + body;
  };
  // One directory entry: orientation (0x0112), a short, one of it.
  const std::string big = std::string("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 22);
  const std::string little = std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x08\0\0\0", 22);
  EXPECT_EQ(JpegOrientation(Bytes(soi + app0 + exif(big))), 6);
  EXPECT_EQ(JpegOrientation(Bytes(soi + exif(little))), 8);
  EXPECT_EQ(JpegOrientation(Bytes(soi + exif(big.substr(0, 15)))), kUpright);  // the entry cut short
  std::string far = big;
  far[7] = '\x7F';  // a directory beyond the block
  EXPECT_EQ(JpegOrientation(Bytes(soi + exif(far))), kUpright);
  std::string nine = big;
  nine[19] = '\x09';
  EXPECT_EQ(JpegOrientation(Bytes(soi + exif(nine))), kUpright);
  EXPECT_EQ(JpegOrientation(Bytes(std::string("\xFF\xD8\xFF\xE1\x00", 5))), kUpright);  // no length

  // A frame header after APP0: precision, height 0x0102, width 0x0304.
  const std::string frame = std::string("\xFF\xC0\x00\x07\x08\x01\x02\x03\x04", 9);
  const auto sides = [](PictureFormat format, const std::string& bytes) {
    const auto size = HeaderSize(format, Bytes(bytes));
    return size ? std::to_string(size->width) + "x" + std::to_string(size->height) : "none";
  };
  EXPECT_EQ(sides(PictureFormat::kJpeg, soi + app0 + frame), "772x258");
  EXPECT_EQ(sides(PictureFormat::kJpeg, soi + frame.substr(0, 8)), "none");
  EXPECT_EQ(sides(PictureFormat::kPng, std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x01\0\0\0\0\x80", 24)), "256x128");

  const auto chunk = [](char number, char count, const std::string& data) {
    const std::string body = std::string("ICC_PROFILE\0", 12) + number + count + data;
    return std::string("\xFF\xE2") + char(0) + char(body.size() + 2) + body;
  };
  EXPECT_EQ(JpegProfile(Bytes(soi + chunk(2, 2, "def") + app0 + chunk(1, 2, "abc"))), Bytes("abcdef"));
  EXPECT_TRUE(JpegProfile(Bytes(soi + chunk(2, 2, "def"))).empty());
  EXPECT_TRUE(JpegProfile(Bytes(soi + chunk(1, 2, "abc") + chunk(1, 2, "abc"))).empty());
}

}  // namespace
