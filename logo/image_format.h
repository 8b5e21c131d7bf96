#pragma once
// The bytes the logo code reads and writes: the bitmap header fields it tests, the
// terminal's 32-bit logo image (logo.bin) and its 16-bit startup image
// (startup.raw). The pixel functions are pure, so host tools can reuse them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace logo {

// Logo geometry: the only bitmaps the terminal can show.
inline constexpr std::int32_t kLogoWidth = 800;
inline constexpr std::int32_t kLogoHeight = 480;
inline constexpr std::uint16_t kLogoBitCount = 24;

// Source bitmap: 3 bytes a pixel; with 800 pixels a row needs no padding.
inline constexpr std::size_t kSourcePixelBytes = 3;
inline constexpr std::size_t kSourceRowBytes = kLogoWidth * kSourcePixelBytes;         // 2,400
inline constexpr std::size_t kSourcePixelDataBytes = kSourceRowBytes * kLogoHeight;    // 1,152,000

// logo.bin: the source bytes of each pixel, then a zero byte; top row first.
inline constexpr std::size_t kLogoPixelBytes = 4;
inline constexpr std::size_t kLogoRowBytes = kLogoWidth * kLogoPixelBytes;             // 3,200
inline constexpr std::size_t kLogoFileBytes = kLogoRowBytes * kLogoHeight;             // 1,536,000

// startup.raw: RGB565, low byte first; top row first.
inline constexpr std::size_t kStartupPixelBytes = 2;
inline constexpr std::size_t kStartupRowBytes = kLogoWidth * kStartupPixelBytes;       // 1,600
inline constexpr std::size_t kStartupFileBytes = kStartupRowBytes * kLogoHeight;       // 768,000

// The first bytes of a bitmap file that hold every field the logo code looks at:
// signature, pixel-data offset, width, height and bit count.
inline constexpr std::size_t kBitmapHeaderBytes = 30;

// The header fields, as stored; nothing here is validated.
struct BitmapHeader {
  bool signature = false;            // "BM"
  std::uint32_t pixelDataOffset = 0;  // from the start of the file
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: bottom row stored first
  std::uint16_t bitCount = 0;
};

// Nothing when fewer than kBitmapHeaderBytes bytes are given.
std::optional<BitmapHeader> ReadBitmapHeader(std::span<const std::byte> file);

bool HasLogoSize(const BitmapHeader& header);
bool HasLogoGeometry(const BitmapHeader& header);  // size and bit depth

// `pixelData` is the stored pixel data of an 800 x 480 24-bit bitmap, bottom row
// first. It may be short: bytes past its end read as zero. `imageRow` 0 is the top.
void LogoRowFromPixels(std::span<const std::byte> pixelData, std::size_t imageRow,
                       std::span<std::byte, kLogoRowBytes> out);
void StartupRowFromPixels(std::span<const std::byte> pixelData, std::size_t imageRow,
                          std::span<std::byte, kStartupRowBytes> out);

// Whole files: kLogoFileBytes and kStartupFileBytes bytes.
std::vector<std::byte> LogoImageFromPixels(std::span<const std::byte> pixelData);
std::vector<std::byte> StartupImageFromPixels(std::span<const std::byte> pixelData);

// A buffer of `size` bytes, or nothing when the heap cannot give it; never throws.
std::unique_ptr<std::byte[]> TryAllocateBytes(std::size_t size);

}  // namespace logo
