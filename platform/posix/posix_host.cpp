
#include "platform/posix/posix_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/posix_io.h"
#include "platform/sim/host_io.h"

namespace platform {
namespace {

class PosixFile final : public HostIoFile {
 public:
  explicit PosixFile(UniqueFd fd) : m_fd(std::move(fd)) {}

  std::optional<std::uint64_t> Size() const override {
    struct stat info {};
    if (::fstat(m_fd.get(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
  }
  std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const override {
    const ssize_t got = ReadFully(m_fd.get(), buffer, size, static_cast<off_t>(offset));
    if (got < 0) return std::nullopt;
    return static_cast<std::size_t>(got);
  }
  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset) override {
    return WriteFully(m_fd.get(), data, size, static_cast<off_t>(offset));
  }
  bool Append(const void* data, std::size_t size) override {
    // A FIFO whose reader has gone answers the write with SIGPIPE, which would end
    // the program: the signal is held back for the write and taken if it came.
    sigset_t pipe, previous, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    ::sigpending(&pending);
    const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
    const bool written = WriteFully(m_fd.get(), data, size);
    const int error = errno;
    if (!written && error == EPIPE && !pendingBefore) {
      const timespec now{};
      ::sigtimedwait(&pipe, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
  }
  bool Truncate(std::uint64_t size) override { return ::ftruncate(m_fd.get(), static_cast<off_t>(size)) == 0; }
  bool Sync() override { return ::fsync(m_fd.get()) == 0; }

 private:
  UniqueFd m_fd;
};

std::unique_ptr<HostIoFile> Opened(UniqueFd fd) { return fd ? std::make_unique<PosixFile>(std::move(fd)) : nullptr; }

}  // namespace

std::unique_ptr<HostIoFile> PosixHost::OpenFile(const std::filesystem::path& path, HostFileMode mode, bool* created) {
  switch (mode) {
    case HostFileMode::kRead:
      return Opened(OpenHostPath(path.c_str(), O_RDONLY, true));
    case HostFileMode::kReadWrite: {
      UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
      if (!fd && errno == ENOENT) {
        fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (created) *created = static_cast<bool>(fd);
      }
      return Opened(std::move(fd));
    }
    case HostFileMode::kAppend: {
      // Without waiting: a FIFO that no one reads is not opened at all. What is
      // opened is written as a reader takes it, so a slow reader holds the writer.
      UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK));
      if (fd) ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
      return Opened(std::move(fd));
    }
    case HostFileMode::kFolder:
      return Opened(UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  }
  return nullptr;
}

std::unique_ptr<HostIoFile> PosixHost::LockFile(const std::filesystem::path& path, HostLockResult* result) {
  // Never through a link: the claimant empties the file and writes its id into
  // it, which must not reach a file elsewhere, nor create one there.
  UniqueFd fd = OpenHostPath(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, true);
  if (!fd) return nullptr;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(kHostLockOffset);
  lock.l_len = 1;
  // Owned by this open, not by the process: a second open in the same program
  // is refused too, and closing another descriptor of the file keeps it.
  if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) {
    if (result && (errno == EAGAIN || errno == EACCES)) *result = HostLockResult::kBusy;
    return nullptr;
  }
  if (result) *result = HostLockResult::kHeld;
  return Opened(std::move(fd));
}

unsigned long PosixHost::ProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace platform
