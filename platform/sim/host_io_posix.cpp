#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "platform/sim/host_io.h"
#include "platform/sim/posix_io.h"

namespace platform {

HostIo::~HostIo() {
  if (m_fd >= 0) ::close(m_fd);
}
HostIo::HostIo(HostIo&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
HostIo& HostIo::operator=(HostIo&& other) noexcept {
  std::swap(m_fd, other.m_fd);
  return *this;
}
HostIo::operator bool() const { return m_fd >= 0; }

HostIo HostIo::Open(const std::filesystem::path& path, Mode mode, bool* created) {
  HostIo io;
  switch (mode) {
    case Mode::kRead:
      io.m_fd = OpenHostPath(path.c_str(), O_RDONLY, true).release();
      break;
    case Mode::kReadWrite:
      io.m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (io.m_fd < 0 && errno == ENOENT) {
        io.m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (created) *created = io.m_fd >= 0;
      }
      break;
    case Mode::kAppend:
      io.m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      break;
    case Mode::kExclusiveFolder:
      io.m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      // An advisory lock, so it holds across processes of the simulator.
      if (io && ::flock(io.m_fd, LOCK_EX | LOCK_NB) != 0) io = HostIo();
      break;
  }
  return io;
}

std::optional<std::uint64_t> HostIo::Size() const {
  struct stat info {};
  if (::fstat(m_fd, &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::size_t> HostIo::ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const {
  const ssize_t got = ReadFully(m_fd, buffer, size, static_cast<off_t>(offset));
  if (got < 0) return std::nullopt;
  return static_cast<std::size_t>(got);
}

bool HostIo::WriteAt(const void* data, std::size_t size, std::uint64_t offset) {
  return WriteFully(m_fd, data, size, static_cast<off_t>(offset));
}

bool HostIo::Append(const void* data, std::size_t size) { return WriteFully(m_fd, data, size); }

bool HostIo::Truncate(std::uint64_t size) { return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0; }

bool HostIo::Sync() { return ::fsync(m_fd) == 0; }

}  // namespace platform
