#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <utility>

#include "platform/posix/posix_io.h"
#include "platform/sim/host_io.h"

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
      // Without waiting: a FIFO that no one reads is not opened at all. What is
      // opened is written as a reader takes it, so a slow reader holds the writer.
      io.m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
      if (io) ::fcntl(io.m_fd, F_SETFL, ::fcntl(io.m_fd, F_GETFL) & ~O_NONBLOCK);
      break;
    case Mode::kFolder:
      io.m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      break;
  }
  return io;
}

HostIo HostIo::Lock(const std::filesystem::path& path, LockResult* result) {
  HostIo io;
  // Never through a link: the claimant empties the file and writes its id into
  // it, which must not reach a file elsewhere, nor create one there.
  io.m_fd = OpenHostPath(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, true).release();
  LockResult outcome = LockResult::kUnavailable;
  if (io) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kHostLockOffset);
    lock.l_len = 1;
    // Owned by this open, not by the process: a second open in the same program
    // is refused too, and closing another descriptor of the file keeps it.
    if (::fcntl(io.m_fd, F_OFD_SETLK, &lock) == 0) {
      outcome = LockResult::kHeld;
    } else {
      outcome = errno == EAGAIN || errno == EACCES ? LockResult::kBusy : LockResult::kUnavailable;
      io = HostIo();
    }
  }
  if (result) *result = outcome;
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

bool HostIo::Append(const void* data, std::size_t size) {
  // A FIFO whose reader has gone answers the write with SIGPIPE, which would end
  // the program: the signal is held back for the write and taken if it came.
  sigset_t pipe, previous, pending;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe, &previous);
  ::sigpending(&pending);
  const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
  const bool written = WriteFully(m_fd, data, size);
  const int error = errno;
  if (!written && error == EPIPE && !pendingBefore) {
    const timespec now{};
    ::sigtimedwait(&pipe, nullptr, &now);
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return written;
}

bool HostIo::Truncate(std::uint64_t size) { return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0; }

bool HostIo::Sync() { return ::fsync(m_fd) == 0; }

unsigned long HostProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace platform
