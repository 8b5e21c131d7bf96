#pragma once
// Whole files of the host that the simulated terminal reads for itself: the
// registry file, a bitmap for the preview, the flash driver's faults list. Each
// comes from outside, so each is read only when it is a regular file, and never
// beyond a limit of its reader's choosing.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace platform {

struct HostFile {
  enum class Status { kMissing, kUnreadable, kTooLarge, kRead };
  Status status = Status::kUnreadable;
  std::vector<std::byte> bytes;
};

// A file over `limit` bytes is not read at all; a folder, FIFO, device or socket is
// unreadable at once. Missing means that nothing is there: a file that is there but
// could not be opened or read (an I/O error) is unreadable.
HostFile ReadWholeHostFile(const std::filesystem::path& path, std::uintmax_t limit);

}  // namespace platform
