#pragma once
// A file of the host that the simulated terminal opens for its own use: the flash
// driver's areas, lock and trace, the terminal's claim, and the whole files it
// reads (host_files.h). The same calls over POSIX descriptors and over Windows
// handles.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

class HostIo {
 public:
  enum class Mode {
    kRead,       // a regular file only: anything else fails at once, never blocks
    kReadWrite,  // created when missing
    kAppend,     // an existing file or a FIFO that has a reader: a FIFO without one is not opened
    kFolder,     // a folder, to make its entries durable
  };
  enum class LockResult { kHeld, kBusy, kUnavailable };

  HostIo() = default;
  ~HostIo();
  HostIo(HostIo&& other) noexcept;
  HostIo& operator=(HostIo&& other) noexcept;
  HostIo(const HostIo&) = delete;
  HostIo& operator=(const HostIo&) = delete;

  // Nothing opened when the file cannot be (`created` says when it was made).
  static HostIo Open(const std::filesystem::path& path, Mode mode, bool* created = nullptr);
  // The regular file `path`, created when missing, with the lock that every
  // Bramble program holds it by: an exclusive lock of one byte far past the data,
  // taken without waiting. Wine turns the Windows program's LockFileEx into a
  // POSIX record lock and the Linux programs take an open file description lock,
  // so each host sees the other's. Nothing opened unless `result` is kHeld.
  static HostIo Lock(const std::filesystem::path& path, LockResult* result = nullptr);
  explicit operator bool() const;

  std::optional<std::uint64_t> Size() const;
  // Reads until `size` bytes or the end; the bytes read, or nothing on an error.
  std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const;
  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset);
  // False when the bytes could not all be written, also when the reader of a
  // FIFO has gone (which never ends the program).
  bool Append(const void* data, std::size_t size);
  bool Truncate(std::uint64_t size);
  // The written bytes, and for a folder its entries, are on stable storage.
  bool Sync();

 private:
#ifdef _WIN32
  void* m_handle = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
  bool m_folder = false;
  bool m_pipe = false;  // a pipe, appended to with patience
#else
  int m_fd = -1;
#endif
};

// This process's id, as the host numbers processes.
unsigned long HostProcessId();

// Where the lock of HostIo::Lock lies: past any byte a lock file holds, so that
// the holder's process id can be read from it while it is held (Windows forbids
// reading a range another process has locked).
inline constexpr std::uint64_t kHostLockOffset = std::uint64_t{1} << 30;

}  // namespace platform
