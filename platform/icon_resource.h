#pragma once
// The images of an icon group, read from the bytes of an .ico file: a directory
// of entries, each pointing at an icon image (an info header with twice the
// picture's height, the colour table, the colour rows and the one-bit mask rows).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

struct IconImage {
  int width;
  int height;
  std::uint16_t bitCount;
  // 0xAARRGGBB, top row first; pixels the mask makes transparent have alpha 0,
  // all others 0xFF.
  std::vector<std::uint32_t> pixels;
};

// Every image of the group in directory order, or none at all when the
// directory or any image in it is damaged. Images stored as PNG are refused.
std::vector<IconImage> DecodeIconGroup(std::span<const std::byte> icoFile);

}  // namespace platform
