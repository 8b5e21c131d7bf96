#pragma once
// The Windows host's part of --play: the dialog as the screen shows it, saved as
// a PNG picture.

#include <filesystem>

#include "platform/api/windows_api.h"

namespace platform::win32 {

// The window's client area, copied from the screen. False when it could not be
// captured or written.
bool SaveWindowPicture(HWND window, const std::filesystem::path& file);

}  // namespace platform::win32
