#pragma once
// File descriptors on a POSIX host: one owner, and the one place where reads and
// writes are retried after an interruption and carried on after a short count.

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.m_fd, -1));
    return *this;
  }
  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, -1); }
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }
  explicit operator bool() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Reads until `size` bytes, the end of the file or an error; from `offset` when
// it is not negative, else from the current position. Returns the bytes read, or
// -1 with errno set when nothing could be read because of an error.
ssize_t ReadFully(int fd, void* buffer, std::size_t size, off_t offset = -1);
// Writes all `size` bytes, at `offset` when it is not negative; false with errno
// set when they could not all be written.
bool WriteFully(int fd, const void* data, std::size_t size, off_t offset = -1);

// Opens a file of the host without blocking on a FIFO. A file that is read must be
// a regular file: anything else holds no bytes the program could use, and
// reading a FIFO or a device could block for ever (errno EACCES; EISDIR for a
// folder). A regular file is left blocking again.
UniqueFd OpenHostPath(const char* path, int flags, bool reading);

}  // namespace platform
