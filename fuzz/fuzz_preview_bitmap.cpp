// The preview's bitmap loader over any bytes.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "platform/sim/bitmap_loader.h"

namespace {

using bramble::fuzz::Require;

void CheckShape(const platform::DecodedBitmap& bitmap) {
  Require(bitmap.width > 0 && bitmap.width <= platform::kMaxBitmapSide, "width out of range");
  const std::int64_t rows = bitmap.height < 0 ? -std::int64_t{bitmap.height} : bitmap.height;
  Require(rows > 0 && rows <= platform::kMaxBitmapSide, "height out of range");
  Require(bitmap.pixels.size() == static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(rows),
          "pixel count does not match the size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bytes = bramble::fuzz::AsBytes(data, size);
  if (const auto bitmap = platform::DecodeBitmap(bytes)) {
    CheckShape(*bitmap);
    for (const std::uint32_t pixel : bitmap->pixels) Require((pixel >> 24) == 0xFF, "a bitmap pixel is not opaque");
  }
  return 0;
}
