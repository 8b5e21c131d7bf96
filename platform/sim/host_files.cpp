#include "platform/sim/host_files.h"

#include "platform/sim/host_io.h"

namespace platform {

HostFile ReadWholeHostFile(const std::filesystem::path& path, std::uintmax_t limit) {
  HostFile file;
  const HostIo io = HostIo::Open(path, HostIo::Mode::kRead);
  const auto size = io ? io.Size() : std::nullopt;
  if (!size) return file;
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
