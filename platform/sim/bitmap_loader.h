#pragma once
// The bitmap loader behind SHLoadDIBitmap: reads a Windows bitmap from outside
// bytes without trusting any of its fields.
//
// Loads: "BM" files with a 40-byte info header or a 52-, 56-, 108- (v4) or 124-byte
// (v5) header; one plane; uncompressed at 1, 4, 8, 16, 24 or 32 bits per pixel, or
// bit-field masks at 16 and 32 bits (after a 40-byte header or inside a longer one);
// rows stored bottom-up or top-down. Without masks 16 bits are 5-5-5 and 32 bits
// 8-8-8 with the top byte unused; alpha is never used.
// Refuses: OS/2 headers and any other header size, run-length, JPEG, PNG and every
// other compression, other bit counts, planes other than 1, a width that is not
// positive, a zero height, a side over kMaxBitmapSide, a picture that would take
// more than kMaxDecodedBytes once decoded, masks that are zero, split,
// overlapping or wider than the pixel, a colour table with more entries than the
// bit count allows or that does not fit between the header and the pixel rows, and
// a file shorter than its pixel rows (a truncated file is refused, not padded).
// A palette index past the colour table gives black.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace platform {

// Longest side the loader accepts, and the most a decoded picture may take (four
// bytes a pixel): no header can make a repaint cost more than that.
inline constexpr std::int32_t kMaxBitmapSide = 16384;
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{64} << 20;
// The largest bitmap file the loader reads: its pixels at that limit, and a
// mebibyte for headers, masks, a colour table and padding.
inline constexpr std::uint64_t kMaxLoadedBitmapFileBytes = kMaxDecodedBytes + (std::uint64_t{1} << 20);

struct DecodedBitmap {
  std::int32_t width;
  std::int32_t height;                // as stored in the file: negative for rows stored top-down
  std::uint16_t bitCount;             // the file's own bit count
  std::vector<std::uint32_t> pixels;  // 0xFFRRGGBB, |width| x |height|, top row first
};

std::optional<DecodedBitmap> DecodeBitmap(std::span<const std::byte> file);

// Reads and decodes a host file; a file too large to decode within the limit is
// refused without reading it, and so is anything but a regular file.
std::optional<DecodedBitmap> LoadBitmapFile(const std::filesystem::path& hostPath);

}  // namespace platform
