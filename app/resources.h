#pragma once
// The executable's resources: icon group 128 and the version information.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace app {

struct VersionString {
  std::string_view name;
  std::string_view value;
};

struct VersionInfo {
  std::array<std::uint16_t, 4> fileVersion;
  std::array<std::uint16_t, 4> productVersion;
  std::uint32_t fileFlagsMask;
  std::uint32_t fileFlags;
  std::uint32_t fileOs;
  std::uint32_t fileType;
  std::uint32_t fileSubtype;
  std::uint16_t language;
  std::uint16_t codePage;
  std::span<const VersionString> strings;
};

const VersionInfo& Version();

// The .ico file of icon group 128, as embedded at build time.
std::span<const std::byte> IconGroup128();

// Registers the embedded resources with the platform layer.
void RegisterResources();

}  // namespace app
