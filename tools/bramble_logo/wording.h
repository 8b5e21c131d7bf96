#pragma once
// How the tool's messages write numbers, sizes and names.

#include <cstdint>
#include <string>
#include <string_view>

namespace logo_tool {

inline constexpr std::string_view kTimes = "\u00D7";

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

// "800 × 480".
inline std::string Dimensions(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " " + std::string(kTimes) + " " + std::to_string(height);
}

// "a JPEG", "an AVIF", "an SVG": the name as it is read out, letter by letter
// ("ess") or as a word.
inline std::string Article(std::string_view name) {
  const bool vowel = !name.empty() && std::string_view("AEIOUS").find(name.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(name);
}

}  // namespace logo_tool
