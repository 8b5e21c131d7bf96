#pragma once
// A file of the host that the simulated terminal opens for its own use: the flash
// driver's areas, lock and trace, the terminal's claim, and the whole files it
// reads (host_files.h). The simulated terminal reaches the host's file API only
// through HostFiles, which each host folder (posix/, win32/) implements once and
// the program installs with its surroundings.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace platform {

// One open file of the host, behind a HostIo.
class HostIoFile {
 public:
  virtual ~HostIoFile() = default;
  virtual std::optional<std::uint64_t> Size() const = 0;
  virtual std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const = 0;
  virtual bool WriteAt(const void* data, std::size_t size, std::uint64_t offset) = 0;
  virtual bool Append(const void* data, std::size_t size) = 0;
  virtual bool Truncate(std::uint64_t size) = 0;
  virtual bool Sync() = 0;
};

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
  explicit HostIo(std::unique_ptr<HostIoFile> file) : m_file(std::move(file)) {}

  // Nothing opened when the file cannot be (`created` says when it was made).
  static HostIo Open(const std::filesystem::path& path, Mode mode, bool* created = nullptr);
  // The regular file `path`, created when missing, with the lock that every
  // Bramble program holds it by: an exclusive lock of one byte far past the data,
  // taken without waiting. Wine turns the Windows program's LockFileEx into a
  // POSIX record lock and the Linux programs take an open file description lock,
  // so each host sees the other's. Never through a link. Nothing opened unless
  // `result` is kHeld.
  static HostIo Lock(const std::filesystem::path& path, LockResult* result = nullptr);
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

// The host's side of HostIo.
class HostFiles {
 public:
  virtual ~HostFiles() = default;
  virtual std::unique_ptr<HostIoFile> Open(const std::filesystem::path& path, HostIo::Mode mode, bool* created) = 0;
  virtual std::unique_ptr<HostIoFile> Lock(const std::filesystem::path& path, HostIo::LockResult* result) = 0;
  virtual unsigned long ProcessId() = 0;
};

// The files of the host this program is built for, defined by that host's folder
// (posix/, win32/) for the program to install (SurroundingsOfThisHost). The
// simulated terminal itself never names it.
HostFiles& FilesOfThisHost();

// This process's id, as the host numbers processes.
unsigned long HostProcessId();

// Where the lock of HostIo::Lock lies: past any byte a lock file holds, so that
// the holder's process id can be read from it while it is held (Windows forbids
// reading a range another process has locked).
inline constexpr std::uint64_t kHostLockOffset = std::uint64_t{1} << 30;

}  // namespace platform
