// The simulated terminal's own files on Windows, over handles.

#include "platform/win32/win32_host.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/sim/host_io.h"

namespace platform::win32 {
namespace {

// Closed with its owner. Not the framework's UniqueHandle: that one closes
// through the name the system's code is routed by.
struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  HANDLE get() const { return m_handle.get(); }
  explicit operator bool() const { return m_handle != nullptr; }

 private:
  std::unique_ptr<void, HandleCloser> m_handle;
};

// A positional request on a handle opened for synchronous use.
OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

class WindowsFile final : public HostIoFile {
 public:
  WindowsFile(UniqueHandle handle, bool folder, bool pipe) : m_handle(std::move(handle)), m_folder(folder), m_pipe(pipe) {}

  std::optional<std::uint64_t> Size() const override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_handle.get(), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  std::optional<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const override {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t filled = 0;
    while (filled < size) {
      OVERLAPPED where = At(offset + filled);
      DWORD got = 0;
      const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - filled, 1u << 30));
      if (!::ReadFile(m_handle.get(), bytes + filled, ask, &got, &where)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) break;
        return filled > 0 ? std::optional(filled) : std::nullopt;
      }
      if (got == 0) break;
      filled += got;
    }
    return filled;
  }

  bool WriteAt(const void* data, std::size_t size, std::uint64_t offset) override {
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
      OVERLAPPED where = At(offset + done);
      DWORD written = 0;
      const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      if (!::WriteFile(m_handle.get(), bytes + done, ask, &written, &where) || written == 0) return false;
      done += written;
    }
    return true;
  }

  bool Append(const void* data, std::size_t size) override {
    // A pipe is waited on while its reader takes lines; one that has taken none for
    // kPipePatienceMs has gone or never came, and the write is given up.
    constexpr DWORD kPipePatienceMs = 1000;
    constexpr DWORD kRetryMs = 10;
    const DWORD patience = m_pipe ? kPipePatienceMs : INFINITE;
    for (DWORD waited = 0;; waited += kRetryMs) {
      OVERLAPPED where{};
      where.Offset = where.OffsetHigh = 0xFFFFFFFF;  // at the end
      DWORD written = 0;
      if (::WriteFile(m_handle.get(), data, static_cast<DWORD>(size), &written, &where)) return written == size;
      if (::GetLastError() == ERROR_IO_PENDING) {
        if (::GetOverlappedResultEx(m_handle.get(), &where, &written, patience, FALSE)) return written == size;
        ::CancelIoEx(m_handle.get(), &where);
        ::GetOverlappedResult(m_handle.get(), &where, &written, TRUE);
        return false;
      }
      if (!m_pipe || waited >= kPipePatienceMs) return false;
      ::Sleep(kRetryMs);
    }
  }

  bool Truncate(std::uint64_t size) override {
    LARGE_INTEGER where{};
    where.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(m_handle.get(), where, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_handle.get());
  }

  // A folder's entries need no flush of their own: the file system journals them.
  bool Sync() override { return m_folder || ::FlushFileBuffers(m_handle.get()); }

 private:
  UniqueHandle m_handle;
  bool m_folder = false;
  bool m_pipe = false;  // a pipe, appended to with patience
};

std::unique_ptr<HostIoFile> Opened(UniqueHandle handle, bool folder = false, bool pipe = false) {
  return handle ? std::make_unique<WindowsFile>(std::move(handle), folder, pipe) : nullptr;
}

}  // namespace

std::unique_ptr<HostIoFile> Win32Host::OpenFile(const std::filesystem::path& path, HostFileMode mode, bool* created) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  switch (mode) {
    case HostFileMode::kRead: {
      UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
      // Only a file on a disk holds bytes to read; a pipe or a device could block.
      if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK) return nullptr;
      return Opened(std::move(file));
    }
    case HostFileMode::kReadWrite: {
      UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (created) *created = file && ::GetLastError() != ERROR_ALREADY_EXISTS;
      return Opened(std::move(file));
    }
    case HostFileMode::kAppend: {
      // For overlapped use, opened once: a write to a full pipe on a handle for
      // synchronous use waits for ever, even when its reader has gone; on this
      // one it is refused at once, so the writer can tell a reader that takes its
      // time from one that never will. (A second open would also end the file
      // for a reader that came with the first.)
      UniqueHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr));
      const bool pipe = file && ::GetFileType(file.get()) == FILE_TYPE_PIPE;
      return Opened(std::move(file), false, pipe);
    }
    case HostFileMode::kFolder:
      return Opened(UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
                    true);
  }
  return nullptr;
}

std::unique_ptr<HostIoFile> Win32Host::LockFile(const std::filesystem::path& path, HostLockResult* result) {
  // Never through a link. Windows opens the link itself, a reparse point, which is
  // refused. Wine shows a Unix link's target instead, so a missing file is made
  // only where no name is at all (CREATE_NEW), never at the end of a dangling link;
  // what an existing target holds is ClaimTerminal's to judge.
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE, kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  UniqueHandle file(::CreateFileW(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
  if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = UniqueHandle(::CreateFileW(path.c_str(), kAccess, kShare, nullptr, CREATE_NEW, kFlags, nullptr));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return nullptr;
  }
  OVERLAPPED where = At(kHostLockOffset);
  if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
    const DWORD error = ::GetLastError();
    if (result && (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)) *result = HostLockResult::kBusy;
    return nullptr;
  }
  if (result) *result = HostLockResult::kHeld;  // let go when the handle closes
  return Opened(std::move(file));
}

unsigned long Win32Host::ProcessId() { return ::GetCurrentProcessId(); }

}  // namespace platform::win32
