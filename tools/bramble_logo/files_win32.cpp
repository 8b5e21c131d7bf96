// Inputs and outputs on Windows: the system says what a name leads to; a replaced
// output is a named file beside it until it is flushed and moved over the old
// one, and Ctrl-C removes it. Windows' errors are told by the C library's errno
// names, so that a message reads as it does on Linux.

#include <windows.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <tuple>

#include "tools/bramble_logo/files.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// Sets errno from the last Windows error, and returns it.
int Failed() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_NETPATH:
      return errno = ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return errno = EACCES;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return errno = EEXIST;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return errno = ENOSPC;
    case ERROR_WRITE_PROTECT: return errno = EROFS;
    case ERROR_BROKEN_PIPE: case ERROR_NO_DATA: return errno = EPIPE;
    case ERROR_FILENAME_EXCED_RANGE: return errno = ENAMETOOLONG;
    default: return errno = EIO;
  }
}

// The C library's descriptor over `handle`, which it then owns.
UniqueFd Adopt(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) return UniqueFd();
  UniqueFd fd(::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY | _O_NOINHERIT));
  if (!fd) ::CloseHandle(handle);
  return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenExisting(const fs::path& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Names what is not a file on a disk as Linux names it.
const char* KindName(DWORD type) {
  return type == FILE_TYPE_PIPE ? "a FIFO" : type == FILE_TYPE_CHAR ? "a character device" : "not a regular file";
}

std::optional<std::tuple<DWORD, DWORD, DWORD>> IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return std::tuple(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
}

// The replaced output's temporary and the scratch files (named on Windows, as
// another open of an unnamed one fails), which go when the program ends and with
// Ctrl-C. The console's handler runs on a thread of its own: it reads only names
// that are complete.
wchar_t g_leftover[MAX_PATH * 4];
std::atomic<bool> g_armed{false};
wchar_t g_scratch[16][MAX_PATH * 4];
std::atomic<int> g_scratchCount{0};

void RemoveScratch() {
  for (int i = 0; i < g_scratchCount; ++i) ::DeleteFileW(g_scratch[i]);
}

BOOL WINAPI RemoveLeftovers(DWORD) {
  if (g_armed) ::DeleteFileW(g_leftover);
  RemoveScratch();
  return FALSE;  // and the program ends as it would have
}

void RemoveLeftoversOnCtrlC() {
  static const bool installed = ::SetConsoleCtrlHandler(RemoveLeftovers, TRUE) && std::atexit(RemoveScratch) == 0;
  static_cast<void>(installed);
}

}  // namespace

fs::path PathOf(const std::string& utf8) {
  return std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
}

fs::path PathOfFd(int fd) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(HandleOf(fd), name.data(), static_cast<DWORD>(name.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < name.size()) return name.substr(0, length);
    name.resize(length);
  }
}

UniqueFd DuplicateFd(int fd) { return UniqueFd(::_dup(fd)); }

std::optional<std::size_t> ReadFrom(int fd, void* buffer, std::size_t size, std::optional<std::uint64_t> offset) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t filled = 0;
  while (filled < size) {
    OVERLAPPED at{};
    if (offset) {
      at.Offset = static_cast<DWORD>(*offset + filled);
      at.OffsetHigh = static_cast<DWORD>((*offset + filled) >> 32);
    }
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - filled, 1u << 30));
    if (!::ReadFile(HandleOf(fd), bytes + filled, ask, &got, offset ? &at : nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) break;
      if (filled == 0) return Failed(), std::nullopt;
      break;
    }
    if (got == 0) break;
    filled += got;
  }
  return filled;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  for (std::size_t done = 0; done < size;) {
    DWORD written = 0;
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!::WriteFile(HandleOf(fd), bytes + done, ask, &written, nullptr)) return Failed(), false;
    done += written;
  }
  return true;
}

std::optional<std::uint64_t> SizeOf(int fd) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(HandleOf(fd), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

void RemoveOnSignal(const fs::path& path) {
  RemoveLeftoversOnCtrlC();
  g_armed = false;
  if (path.empty() || path.native().size() >= std::size(g_leftover)) return;
  std::wmemcpy(g_leftover, path.c_str(), path.native().size() + 1);
  g_armed = true;
}

UniqueFd OpenScratch(std::string& error) {
  std::wstring folder(MAX_PATH + 1, L'\0');
  folder.resize(::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data()));
  RemoveLeftoversOnCtrlC();
  const int slot = g_scratchCount;
  if (slot == static_cast<int>(std::size(g_scratch))) {
    error = "cannot make a scratch file: this command has made " + std::to_string(slot) + " already";
    return UniqueFd();
  }
  UniqueFd fd;
  for (int attempt = 0; !fd && attempt < 100; ++attempt) {
    const fs::path made = fs::path(folder) / (".tmp-bramble-logo-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                              std::to_string(slot) + "-" + std::to_string(attempt));
    if (made.native().size() >= std::size(g_scratch[slot])) {
      errno = ENAMETOOLONG;
      break;
    }
    std::wmemcpy(g_scratch[slot], made.c_str(), made.native().size() + 1);
    fd = Adopt(::CreateFileW(made.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY, nullptr), _O_RDWR);
    if (!fd && Failed() != EEXIST) break;
  }
  if (fd) ++g_scratchCount;
  else error = FileError("cannot make a scratch file in", folder, errno);
  return fd;
}

StandardInput ExamineStandardInput() {
  const HANDLE in = HandleOf(STDIN_FILENO);
  const DWORD type = ::GetFileType(in);
  DWORD mode = 0;
  if (::GetConsoleMode(in, &mode)) {
    return {StandardInput::kRefused, "standard input is a terminal: pipe a file into it, or name the file instead of -"};
  }
  // A file given with < is read where it is, when it can be named.
  LARGE_INTEGER at{};
  if (type == FILE_TYPE_DISK && ::SetFilePointerEx(in, LARGE_INTEGER{}, &at, FILE_CURRENT) && at.QuadPart == 0 &&
      !PathOfFd(STDIN_FILENO).empty()) {
    return {StandardInput::kFile, {}};
  }
  if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return {StandardInput::kPipe, {}};
  return {StandardInput::kRefused, std::string("cannot read standard input: ") + KindName(type) + ", not a file or a pipe"};
}

void Input::Open(const fs::path& name) {
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    m_error = FileError("cannot read", name, EISDIR);
    return;
  }
  const HANDLE handle = OpenExisting(name, GENERIC_READ);
  if (handle == INVALID_HANDLE_VALUE) {
    m_error = FileError("cannot read", name, Failed());
  } else if (const DWORD type = ::GetFileType(handle); type != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    m_error = "cannot read " + name.string() + ": " + KindName(type) + ", not a regular file";
  } else if ((m_fd = Adopt(handle, _O_RDONLY))) {
    m_size = SizeOf(m_fd.get()).value_or(0);
  } else {
    m_error = FileError("cannot read", name, errno);
  }
}

// What the name leads to, through any links: a file on a disk is replaced, in
// the folder of its final name; anything else (a device, a pipe, which Windows
// gives no attributes) is written straight into, never made, emptied or removed.
void Output::Open(const fs::path& name) {
  fs::path target = name;
  if (const DWORD attributes = ::GetFileAttributesW(name.c_str());
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    m_error = FileError("cannot write", m_name, EISDIR) + "; name a file in it";
    return;
  }
  if (const HANDLE handle = OpenExisting(name, GENERIC_WRITE); handle != INVALID_HANDLE_VALUE) {
    const bool straight = ::GetFileType(handle) != FILE_TYPE_DISK;
    m_fd = Adopt(handle, _O_WRONLY);
    if (!m_fd) return static_cast<void>(Fail(errno));
    if (straight) return;
    if (const fs::path final = PathOfFd(m_fd.get()); !final.empty()) target = final;
    m_fd.reset();
  } else if (Failed() != ENOENT) {
    return static_cast<void>(Fail(errno));
  }
  m_replacing = true;
  m_folderPath = target.has_parent_path() ? target.parent_path() : fs::path(".");
  m_leaf = target.filename().string();
  m_temporary = NameTemporary(m_folderPath, [&](const char* leaf) {
    m_fd = Adopt(::CreateFileW((m_folderPath / leaf).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr), _O_RDWR);
    if (!m_fd) Failed();
    return static_cast<bool>(m_fd);
  });
  if (!m_fd) Fail(errno);
}

// The same file as standard output, not merely a device that takes both alike.
bool Output::IsStandardOutput() const {
  const HANDLE out = HandleOf(STDOUT_FILENO);
  if (::GetFileType(out) != FILE_TYPE_DISK) return false;
  if (!m_replacing) return IdentityOf(HandleOf(m_fd.get())) == IdentityOf(out);
  const HANDLE old = OpenExisting(m_folderPath / PathOf(m_leaf), FILE_READ_ATTRIBUTES);
  if (old == INVALID_HANDLE_VALUE) return false;
  const bool same = IdentityOf(old) == IdentityOf(out);
  ::CloseHandle(old);
  return same;
}

void Output::RemoveTemporary() { ::DeleteFileW((m_folderPath / m_temporary).c_str()); }

// The data is on storage before the name leads to it, and the move is written
// through: a crash leaves the old file or the whole new one.
bool Output::PutInPlace() {
  if (!::FlushFileBuffers(HandleOf(m_fd.get()))) return Fail(Failed());
  if (::_close(m_fd.release()) != 0) return Fail(errno);
  if (!::MoveFileExW((m_folderPath / m_temporary).c_str(), (m_folderPath / PathOf(m_leaf)).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(Failed());
  }
  m_temporary.clear();
  RemoveOnSignal({});
  return true;
}

}  // namespace logo_tool
