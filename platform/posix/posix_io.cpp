#include "platform/posix/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>


namespace platform {

ssize_t ReadFully(int fd, void* buffer, std::size_t size, off_t offset) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t got = offset < 0 ? ::read(fd, bytes + filled, size - filled)
                                   : ::pread(fd, bytes + filled, size - filled, offset + static_cast<off_t>(filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return filled > 0 ? static_cast<ssize_t>(filled) : -1;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(filled);
}

bool WriteFully(int fd, const void* data, std::size_t size, off_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written = offset < 0 ? ::write(fd, bytes + done, size - done)
                                       : ::pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

UniqueFd OpenHostPath(const char* path, int flags, bool reading) {
  UniqueFd fd(::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!fd) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return UniqueFd();
  if (S_ISDIR(info.st_mode) || (reading && !S_ISREG(info.st_mode))) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
    return UniqueFd();
  }
  if (S_ISREG(info.st_mode)) ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace platform
