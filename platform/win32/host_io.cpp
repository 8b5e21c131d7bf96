#include <utility>

#include "platform/api/windows_api.h"
#include "platform/sim/host_io.h"

namespace platform {
namespace {

// A positional request on a handle opened for synchronous use.
OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

}  // namespace

HostIo::~HostIo() {
  if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
}
HostIo::HostIo(HostIo&& other) noexcept
    : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)), m_folder(other.m_folder), m_pipe(other.m_pipe) {}
HostIo& HostIo::operator=(HostIo&& other) noexcept {
  std::swap(m_handle, other.m_handle);
  std::swap(m_folder, other.m_folder);
  std::swap(m_pipe, other.m_pipe);
  return *this;
}
HostIo::operator bool() const { return m_handle != INVALID_HANDLE_VALUE; }

HostIo HostIo::Open(const std::filesystem::path& path, Mode mode, bool* created) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HostIo io;
  switch (mode) {
    case Mode::kRead:
      io.m_handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
      // Only a file on a disk holds bytes to read; a pipe or a device could block.
      if (io && ::GetFileType(io.m_handle) != FILE_TYPE_DISK) io = HostIo();
      break;
    case Mode::kReadWrite:
      io.m_handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created) *created = io && ::GetLastError() != ERROR_ALREADY_EXISTS;
      break;
    case Mode::kAppend:
      // For overlapped use, opened once: a write to a full pipe on a handle for
      // synchronous use waits for ever, even when its reader has gone; on this
      // one it is refused at once, so the writer can tell a reader that takes its
      // time from one that never will. (A second open would also end the file
      // for a reader that came with the first.)
      io.m_handle = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
      io.m_pipe = io && ::GetFileType(io.m_handle) == FILE_TYPE_PIPE;
      break;
    case Mode::kFolder:
      io.m_handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      io.m_folder = true;
      break;
  }
  return io;
}

HostIo HostIo::Lock(const std::filesystem::path& path, LockResult* result) {
  HostIo io;
  // Never through a link. Windows opens the link itself, a reparse point, which is
  // refused. Wine shows a Unix link's target instead, so a missing file is made
  // only where no name is at all (CREATE_NEW), never at the end of a dangling link;
  // what an existing target holds is ClaimTerminal's to judge.
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE, kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  io.m_handle = ::CreateFileW(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr);
  if (!io && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    io.m_handle = ::CreateFileW(path.c_str(), kAccess, kShare, nullptr, CREATE_NEW, kFlags, nullptr);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (io && (::GetFileType(io.m_handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(io.m_handle, &info) ||
             (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    io = HostIo();
  }
  LockResult outcome = LockResult::kUnavailable;
  if (io) {
    OVERLAPPED where = At(kHostLockOffset);
    if (::LockFileEx(io.m_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
      outcome = LockResult::kHeld;  // let go when the handle closes
    } else {
      const DWORD error = ::GetLastError();
      outcome = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockResult::kBusy : LockResult::kUnavailable;
      io = HostIo();
    }
  }
  if (result) *result = outcome;
  return io;
}

std::optional<std::uint64_t> HostIo::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(m_handle, &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> HostIo::ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t filled = 0;
  while (filled < size) {
    OVERLAPPED where = At(offset + filled);
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - filled, 1u << 30));
    if (!::ReadFile(m_handle, bytes + filled, ask, &got, &where)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return filled > 0 ? std::optional(filled) : std::nullopt;
    }
    if (got == 0) break;
    filled += got;
  }
  return filled;
}

bool HostIo::WriteAt(const void* data, std::size_t size, std::uint64_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  for (std::size_t done = 0; done < size;) {
    OVERLAPPED where = At(offset + done);
    DWORD written = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!::WriteFile(m_handle, bytes + done, ask, &written, &where) || written == 0) return false;
    done += written;
  }
  return true;
}

bool HostIo::Append(const void* data, std::size_t size) {
  // A pipe is waited on while its reader takes lines; one that has taken none for
  // kPipePatienceMs has gone or never came, and the write is given up.
  constexpr DWORD kPipePatienceMs = 1000;
  constexpr DWORD kRetryMs = 10;
  const DWORD patience = m_pipe ? kPipePatienceMs : INFINITE;
  for (DWORD waited = 0;; waited += kRetryMs) {
    OVERLAPPED where{};
    where.Offset = where.OffsetHigh = 0xFFFFFFFF;  // at the end
    DWORD written = 0;
    if (::WriteFile(m_handle, data, static_cast<DWORD>(size), &written, &where)) return written == size;
    if (::GetLastError() == ERROR_IO_PENDING) {
      if (::GetOverlappedResultEx(m_handle, &where, &written, patience, FALSE)) return written == size;
      ::CancelIoEx(m_handle, &where);
      ::GetOverlappedResult(m_handle, &where, &written, TRUE);
      return false;
    }
    if (!m_pipe || waited >= kPipePatienceMs) return false;
    ::Sleep(kRetryMs);
  }
}

bool HostIo::Truncate(std::uint64_t size) {
  LARGE_INTEGER where{};
  where.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(m_handle, where, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_handle);
}

// A folder's entries need no flush of their own: the file system journals them.
bool HostIo::Sync() { return m_folder || ::FlushFileBuffers(m_handle); }

unsigned long HostProcessId() { return ::GetCurrentProcessId(); }

}  // namespace platform
