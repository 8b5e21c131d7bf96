#include "tests/support/bitmap_builder.h"

#include <cstdlib>
#include <cstring>

#include "platform/formats/little_endian.h"

namespace bramble::test {

std::uint32_t PatternPixel(int x, int y) {
  const auto r = static_cast<std::uint32_t>((x * 7 + y * 3) & 0xFF);
  const auto g = static_cast<std::uint32_t>((x * 13 + y * 5 + 17) & 0xFF);
  const auto b = static_cast<std::uint32_t>((x + y * 11 + 101) & 0xFF);
  return (r << 16) | (g << 8) | b;
}

std::vector<std::byte> Patched(std::vector<std::byte> file, const FieldPatch& patch) {
  for (int i = 0; i < patch.bytes; ++i) file[patch.at + static_cast<std::size_t>(i)] = static_cast<std::byte>(patch.value >> (8 * i));
  return file;
}

std::vector<std::byte> BuildBitmap(const BitmapLayout& layout, const PixelFunction& pixel) {
  const std::uint32_t width = static_cast<std::uint32_t>(std::abs(layout.width));
  const std::uint32_t height = static_cast<std::uint32_t>(std::abs(layout.height));
  const std::uint32_t stride = ((width * layout.bitCount + 31) / 32) * 4;
  const std::uint32_t offset = 14 + layout.infoHeaderSize + layout.paletteEntries * 4 + layout.extraGap;
  std::vector<std::byte> file(offset + stride * height);

  if (layout.signature) std::memcpy(file.data(), "BM", 2);
  platform::PutU32(&file[2], static_cast<std::uint32_t>(file.size()));
  platform::PutU32(&file[10], offset);
  platform::PutU32(&file[14], layout.infoHeaderSize);
  platform::PutU32(&file[18], static_cast<std::uint32_t>(layout.width));
  platform::PutU32(&file[22], static_cast<std::uint32_t>(layout.height));
  platform::PutU16(&file[26], 1);
  platform::PutU16(&file[28], layout.bitCount);
  platform::PutU32(&file[30], layout.compression);
  platform::PutU32(&file[34], stride * height);
  platform::PutU32(&file[46], layout.paletteEntries);  // every colour of the table black

  const bool topDown = layout.height < 0;
  for (std::uint32_t row = 0; row < height; ++row) {
    const int y = static_cast<int>(topDown ? row : height - 1 - row);
    std::byte* out = &file[offset + row * stride];
    if (layout.bitCount != 24 && layout.bitCount != 32) {
      for (std::uint32_t i = 0; i < stride; ++i) out[i] = static_cast<std::byte>((row + i) & 0xFF);
      continue;
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t colour = pixel(static_cast<int>(x), y);
      for (std::size_t k = 0; k < 3; ++k) out[x * (layout.bitCount / 8) + k] = static_cast<std::byte>(colour >> (8 * k));
    }
  }
  return file;
}

}  // namespace bramble::test
