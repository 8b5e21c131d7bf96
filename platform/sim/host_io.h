#pragma once
// A file of the host that the simulated terminal opens for its own use: the flash
// driver's areas, lock and trace, and the whole files it reads (host_files.h).
// The same calls over POSIX descriptors and over Windows handles.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

class HostIo {
 public:
  enum class Mode {
    kRead,            // a regular file only: anything else fails at once, never blocks
    kReadWrite,       // created when missing
    kAppend,          // an existing file, a FIFO too
    kExclusiveFolder  // a folder, held so that no other opener gets it
  };

  HostIo() = default;
  ~HostIo();
  HostIo(HostIo&& other) noexcept;
  HostIo& operator=(HostIo&& other) noexcept;
  HostIo(const HostIo&) = delete;
  HostIo& operator=(const HostIo&) = delete;

  // Nothing opened when the file cannot be (`created` says when it was made).
  static HostIo Open(const std::filesystem::path& path, Mode mode, bool* created = nullptr);
  explicit operator bool() const;

  std::optional<std::uint64_t> Size() const;
  // Reads until `size` bytes or the end; the bytes read, or nothing on an error.
  std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const;
  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset);
  bool Append(const void* data, std::size_t size);
  bool Truncate(std::uint64_t size);
  // The written bytes, and for a folder its entries, are on stable storage.
  bool Sync();

 private:
#ifdef _WIN32
  void* m_handle = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
  bool m_folder = false;
#else
  int m_fd = -1;
#endif
};

}  // namespace platform
