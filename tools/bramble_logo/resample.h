#pragma once
// What a picture codec does between decoding and the logo, for a codec whose
// platform does not do it (or not well): turning a photo upright by its EXIF
// orientation, scaling it as the fit asks (averaging areas to shrink, Catmull-Rom
// to enlarge, both on premultiplied colour so that transparent pixels lend none of
// theirs) and laying it over the background. The numbers follow libvips'
// thumbnailer, so that a logo prepared on either host looks the same.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/bramble_logo/picture_metadata.h"

namespace logo_tool {

// 4 bytes a pixel (red, green, blue, alpha, not premultiplied), top row first.
struct RgbaView {
  const unsigned char* pixels;
  int width;
  int height;
  std::size_t stride;  // bytes from one row to the next
};

// Where a picture of `width` x `height` (upright) goes on the logo for a fit
// (0 stretch, 1 fit inside, 2 fill): scaled to `scaledWidth` x `scaledHeight`,
// of which the part from `cropX`, `cropY` of `width` x `height` shows, at
// `left`, `top` of the logo.
struct Placement {
  int scaledWidth, scaledHeight;
  int cropX, cropY, width, height;
  int left, top;
};
Placement PlaceOnLogo(int width, int height, int fit);

// The shown part of `stored`, turned upright by `orientation` and scaled as
// `placement` says: placement.width x placement.height RGBA pixels.
std::vector<unsigned char> Resample(const RgbaView& stored, int orientation, const Placement& placement);

// Lays the placed `rgba` over `background` (0xRRGGBB) into the logo's RGB
// pixels, `background` also around it. True when some of it was not opaque.
bool Compose(std::span<const unsigned char> rgba, const Placement& placement, std::uint32_t background,
             unsigned char* logoRgb);

}  // namespace logo_tool
