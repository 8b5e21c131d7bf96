#include "platform/icon.h"

#include <map>

namespace platform {
namespace {
std::map<int, IconHandle>& Icons() {
  static std::map<int, IconHandle> icons;
  return icons;
}
}  // namespace

bool RegisterIconResource(int resourceId, std::span<const std::byte> icoFile) {
  std::vector<IconImage> images = DecodeIconGroup(icoFile);
  if (images.empty()) return false;
  Icons()[resourceId] = IconHandle{std::move(images)};
  return true;
}

}  // namespace platform

HICON LoadIconW(int resourceId) {
  auto& icons = platform::Icons();
  auto found = icons.find(resourceId);
  return found == icons.end() ? nullptr : &found->second;
}
