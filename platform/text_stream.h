#pragma once

#include <filesystem>

#include "platform/files.h"

namespace platform {

// A read-only stream over a host file in the terminal C library's text mode:
// each CR LF pair reads as LF, a lone CR stays.
UniqueFile OpenTextFile(const std::filesystem::path& hostPath);

}  // namespace platform
