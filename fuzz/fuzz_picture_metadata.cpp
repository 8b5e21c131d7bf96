// The metadata that the Windows codec reads itself from a picture's bytes: the
// orientation, the colour profile's chunks and the header's size, over any bytes
// (the same bytes read as a JPEG, a TIFF block, a PNG and a GIF header).

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "tools/bramble_logo/picture_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace logo_tool;
  using bramble::fuzz::Require;
  const auto bytes = bramble::fuzz::AsBytes(data, size);
  for (const int orientation : {JpegOrientation(bytes), TiffOrientation(bytes)}) {
    Require(orientation >= kUpright && orientation <= kLastOrientation, "an orientation out of range");
  }
  Require(JpegProfile(bytes).size() <= size, "a profile larger than the file");
  for (const auto format : {PictureFormat::kJpeg, PictureFormat::kPng, PictureFormat::kGif}) {
    if (const auto found = HeaderSize(format, bytes)) {
      Require(found->width >= 0 && found->height >= 0 && found->width <= INT32_MAX && found->height <= INT32_MAX,
              "a size out of range");
    }
  }
  return 0;
}
