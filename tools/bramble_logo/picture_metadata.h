#pragma once
// What a JPEG or TIFF file says about its pixels that a decoder may not act on:
// the EXIF orientation and the embedded colour profile. Read from the file's
// bytes, every offset checked: these are a hostile file's fields.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {

// EXIF orientation: 1 is upright; 2 to 8 are the mirrorings and quarter turns
// that a camera leaves for the viewer to undo.
inline constexpr int kUpright = 1;
inline constexpr int kLastOrientation = 8;
inline bool SwapsAxes(int orientation) { return orientation >= 5 && orientation <= kLastOrientation; }

// The orientation that the first EXIF block of a JPEG file's start gives, or
// kUpright when there is none or it cannot be read.
int JpegOrientation(std::span<const std::byte> jpeg);
// The orientation in a TIFF structure (a TIFF file's start, an EXIF block).
int TiffOrientation(std::span<const std::byte> tiff);

// The ICC profile that a JPEG file's start carries in its APP2 chunks, or none
// when a chunk is missing.
std::vector<std::byte> JpegProfile(std::span<const std::byte> jpeg);

// The width and height that a JPEG, PNG or GIF file's start gives, before any
// pixel is decoded: a size to refuse before a decoder reserves memory for it.
struct PictureSize {
  std::int64_t width, height;
};
std::optional<PictureSize> HeaderSize(PictureFormat format, std::span<const std::byte> head);

}  // namespace logo_tool
