#pragma once
// What a JPEG or TIFF file says about its pixels that a decoder may not act on:
// the EXIF orientation and the embedded colour profile. Read from the file's
// bytes, every offset checked: these are a hostile file's fields.

#include <cstddef>
#include <span>
#include <vector>

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

}  // namespace logo_tool
