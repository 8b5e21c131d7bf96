#pragma once
// File descriptors on a POSIX host: the one place where reads and writes are
// retried after an interruption and carried on after a short count.

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

#include "platform/framework/unique_fd.h"

namespace platform {

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
