#pragma once
// Builds bitmap files byte by byte for tests: a 14-byte file header, a 40-byte
// info header (or a longer one), an optional colour table and the rows.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace bramble::test {

struct BitmapLayout {
  std::int32_t width = 800;
  std::int32_t height = 480;  // negative: rows stored top row first
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t infoHeaderSize = 40;
  std::uint32_t paletteEntries = 0;  // 4 bytes each, after the info header
  std::uint32_t extraGap = 0;        // bytes between the header and the pixels
  bool signature = true;             // "BM" at the start
};

// The colour of pixel (x, y) of the image, y = 0 the top row: 0x00RRGGBB.
using PixelFunction = std::function<std::uint32_t(int x, int y)>;

// A pattern in which neighbouring pixels and rows differ, so a swapped row or
// byte order shows.
std::uint32_t PatternPixel(int x, int y);

// A whole file. For 24 and 32 bits the pixels come from `pixel`; for other depths
// the pixel data is a byte pattern. Rows are padded to four bytes.
std::vector<std::byte> BuildBitmap(const BitmapLayout& layout, const PixelFunction& pixel = PatternPixel);

// One header field set to a hostile value: a little-endian field of 1, 2 or 4 bytes.
struct FieldPatch {
  const char* what;
  std::size_t at;
  std::uint32_t value;
  int bytes = 4;
};
std::vector<std::byte> Patched(std::vector<std::byte> file, const FieldPatch& patch);

}  // namespace bramble::test
