// The application icon's loader over any bytes: a directory of entries, each
// pointing at an image somewhere in the file.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "platform/icon_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bramble::fuzz::Require;
  for (const auto& image : platform::DecodeIconGroup(bramble::fuzz::AsBytes(data, size))) {
    Require(image.width > 0 && image.width <= 256 && image.height > 0 && image.height <= 256,
            "icon side out of range");
    Require(image.pixels.size() == static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height),
            "pixel count does not match the size");
  }
  return 0;
}
