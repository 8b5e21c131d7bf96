#include "platform/sim/host_files.h"

#include <system_error>

#include "platform/sim/host_io.h"

namespace platform {

HostFile ReadWholeHostFile(const std::filesystem::path& path, std::uintmax_t limit) {
  HostFile file;
  const HostIo io = HostIo::Open(path, HostIo::Mode::kRead);
  const auto size = io ? io.Size() : std::nullopt;
  if (!size) {
    std::error_code ec;
    if (!io && std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found) {
      file.status = HostFile::Status::kMissing;
    }
    return file;
  }
  if (*size > limit) {
    file.status = HostFile::Status::kTooLarge;
    return file;
  }
  file.bytes.resize(static_cast<std::size_t>(*size));
  const auto got = io.ReadAt(file.bytes.data(), file.bytes.size(), 0);
  if (!got) return file;
  file.bytes.resize(*got);  // a file that shrank meanwhile
  file.status = HostFile::Status::kRead;
  return file;
}

}  // namespace platform
