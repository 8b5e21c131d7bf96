#pragma once
// The terminal's file and device calls on a POSIX host (CreateFileW and the
// rest, declared by the api): terminal paths lead into the terminal folder,
// device names to the installed host's device.

#include <filesystem>

#include "platform/api/windows_api.h"

namespace platform {

// A file of the host opened for reading, as a handle the file calls take, for the
// host tools that run the terminal's code on their own files. INVALID_HANDLE_VALUE
// when it cannot be opened or is not a regular file.
HANDLE OpenHostFile(const std::filesystem::path& path);

}  // namespace platform
