#pragma once
// Numbers as the tool's messages write them.

#include <cstdint>
#include <string>
#include <string_view>

namespace logo_tool {

// 1536000 -> "1,536,000".
inline std::string Grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

// "1 data sector", "3,000 data sectors".
inline std::string Count(std::uint64_t value, std::string_view thing) {
  return Grouped(value) + " " + std::string(thing) + (value == 1 ? "" : "s");
}

// "1 bit per pixel", "24 bits per pixel".
inline std::string BitsPerPixel(std::uint64_t bits) { return Count(bits, "bit") + " per pixel"; }

}  // namespace logo_tool
