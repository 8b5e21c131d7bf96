#pragma once
// Numbers as the tool's messages write them.

#include <cstdint>
#include <string>

namespace logo_tool {

// 1536000 -> "1,536,000".
inline std::string Grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

}  // namespace logo_tool
