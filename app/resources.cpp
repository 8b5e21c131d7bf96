#include "app/resources.h"

#include "dialog/resource.h"
#include "platform/icon.h"

namespace app {
namespace {

constexpr std::uint32_t VS_FFI_FILEFLAGSMASK = 0x3F;
constexpr std::uint32_t VOS__WINDOWS32 = 0x4;
constexpr std::uint32_t VFT_APP = 0x1;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
constexpr std::uint16_t kCodePageWestern = 1252;

constexpr std::array<VersionString, 6> kStrings = {{
    {"FileDescription", "Bramble boot logo utility"},
    {"FileVersion", "1.0.0.1"},
    {"InternalName", "Bramble.exe"},
    {"OriginalFilename", "Bramble.exe"},
    {"ProductName", "Bramble"},
    {"ProductVersion", "1.0.0.1"},
}};

}  // namespace

const VersionInfo& Version() {
  static const VersionInfo info{
      {1, 0, 0, 1}, {1, 0, 0, 1}, VS_FFI_FILEFLAGSMASK, 0, VOS__WINDOWS32, VFT_APP, 0,
      kLanguageUsEnglish, kCodePageWestern, kStrings,
  };
  return info;
}

void RegisterResources() { platform::RegisterIconResource(IDR_MAINFRAME, IconGroup128()); }

}  // namespace app
