#pragma once
// Icon resources: the program registers the icon files it embeds by resource
// identifier, and LoadIconW finds them as the platform finds its resources.

#include <cstddef>
#include <span>
#include <vector>

#include "platform/icon_resource.h"
#include "platform/window.h"

struct IconHandle {
  std::vector<platform::IconImage> images;
};

// The icon group with that identifier of the running program, or nullptr.
HICON LoadIconW(int resourceId);

namespace platform {

// Makes an embedded .ico file the icon resource `resourceId`; returns false when
// the bytes are no icon group.
bool RegisterIconResource(int resourceId, std::span<const std::byte> icoFile);

}  // namespace platform
