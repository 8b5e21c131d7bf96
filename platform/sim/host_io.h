#pragma once
// A file of the host that the simulated terminal opens for its own use: the flash
// driver's areas, lock and trace, the terminal's claim, and the whole files it
// reads (host_files.h), through the installed host's files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/framework/host.h"

namespace platform {

class HostIo {
 public:
  using Mode = HostFileMode;
  using LockResult = HostLockResult;

  HostIo() = default;
  explicit HostIo(std::unique_ptr<HostIoFile> file) : m_file(std::move(file)) {}

  // Nothing opened when the file cannot be (`created` says when it was made).
  static HostIo Open(const std::filesystem::path& path, Mode mode, bool* created = nullptr) {
    if (created) *created = false;
    return HostIo(CurrentHost().OpenFile(path, mode, created));
  }
  // The regular file `path`, created when missing, with the lock that every
  // Bramble program holds it by: an exclusive lock of one byte far past the data,
  // taken without waiting. Wine turns the Windows program's LockFileEx into a
  // POSIX record lock and the Linux programs take an open file description lock,
  // so each host sees the other's. Never through a link. Nothing opened unless
  // `result` is kHeld.
  static HostIo Lock(const std::filesystem::path& path, LockResult* result = nullptr) {
    if (result) *result = LockResult::kUnavailable;
    return HostIo(CurrentHost().LockFile(path, result));
  }
  explicit operator bool() const { return m_file != nullptr; }

  std::optional<std::uint64_t> Size() const { return m_file ? m_file->Size() : std::nullopt; }
  // Reads until `size` bytes or the end; the bytes read, or nothing on an error.
  std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const {
    return m_file ? m_file->ReadAt(buffer, size, offset) : std::nullopt;
  }
  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset) {
    return m_file && m_file->WriteAt(data, size, offset);
  }
  // False when the bytes could not all be written, also when the reader of a
  // FIFO has gone (which never ends the program).
  bool Append(const void* data, std::size_t size) { return m_file && m_file->Append(data, size); }
  bool Truncate(std::uint64_t size) { return m_file && m_file->Truncate(size); }
  // The written bytes, and for a folder its entries, are on stable storage.
  bool Sync() { return m_file && m_file->Sync(); }

 private:
  std::unique_ptr<HostIoFile> m_file;
};

// Where the lock of HostIo::Lock lies: past any byte a lock file holds, so that
// the holder's process id can be read from it while it is held (Windows forbids
// reading a range another process has locked).
inline constexpr std::uint64_t kHostLockOffset = std::uint64_t{1} << 30;

}  // namespace platform
