// The terminal's file and device calls on a POSIX host. Terminal paths lead into
// the terminal folder; device names ("DSK1:") to the installed host's device.
// Failures set the platform's error codes, which the framework's file exception
// turns into its causes.

#include "platform/posix/kernel.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/posix/posix_io.h"
#include "platform/sim/block_device.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENXIO: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ESPIPE:
    case EINVAL: return ERROR_SEEK;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_CRC;  // EIO and the rest: the medium failed
  }
}

template <typename Result>
Result Fail(DWORD error, Result result) {
  t_lastError = error;
  return result;
}

// What a HANDLE of this layer stands for. Handles are checked against the live
// ones, so a stale or foreign handle fails instead of being followed.
struct KernelObject {
  virtual ~KernelObject() = default;
};
struct FileObject final : KernelObject {
  UniqueFd fd;
  fs::path folder;  // whose entry for the file a flush makes durable too
};
struct FindObject final : KernelObject {};

std::vector<std::unique_ptr<KernelObject>>& Objects() {
  static std::vector<std::unique_ptr<KernelObject>> objects;
  return objects;
}

HANDLE Keep(std::unique_ptr<KernelObject> object) {
  Objects().push_back(std::move(object));
  return Objects().back().get();
}

template <typename Object>
Object* Find(HANDLE handle) {
  for (const auto& object : Objects()) {
    if (object.get() == handle) return dynamic_cast<Object*>(object.get());
  }
  return nullptr;
}

bool Forget(HANDLE handle) {
  return std::erase_if(Objects(), [handle](const auto& object) { return object.get() == handle; }) != 0;
}

// The terminal C library's text mode: each CR LF pair reads as LF, a lone CR
// stays. The only text file the system reads is info.txt, for its first line, so
// a text stream holds at most the first 64 KiB, translated, in memory of its own.
constexpr std::size_t kTextStreamBytes = 64 * 1024;

std::FILE* OpenTextStream(UniqueFd fd) {
  std::string raw(kTextStreamBytes, '\0');
  const ssize_t got = ReadFully(fd.get(), raw.data(), raw.size());
  if (got < 0) return nullptr;
  raw.resize(static_cast<std::size_t>(got));
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
  }
  std::FILE* file = ::fmemopen(nullptr, text.size() + 1, "w+");
  if (file && (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fseek(file, 0, SEEK_SET) != 0)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace

HANDLE OpenHostFile(const fs::path& path) {
  auto object = std::make_unique<FileObject>();
  object->fd = OpenHostPath(path.c_str(), O_RDONLY, true);
  if (!object->fd) return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  return Keep(std::move(object));
}

}  // namespace platform

using namespace platform;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (!fileName) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  const WStringView name(fileName);
  if (IsDeviceName(name)) {
    const HANDLE device = OpenDevice(name, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
    return device == INVALID_HANDLE_VALUE ? Fail(ERROR_FILE_NOT_FOUND, device) : device;
  }
  const bool creates = creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS;
  std::error_code why;
  const auto hostPath = creates ? CreatableTerminalPath(name, &why) : FindTerminalPath(name, &why);
  if (!hostPath) return Fail(ErrorFromErrno(why.value()), INVALID_HANDLE_VALUE);

  const bool reads = (desiredAccess & GENERIC_READ) != 0;
  const bool writes = (desiredAccess & GENERIC_WRITE) != 0;
  int flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  if (creates) flags |= O_CREAT;
  if (creationDisposition == CREATE_ALWAYS) flags |= O_TRUNC;
  // Share modes are not enforced: the host has no mandatory locks.
  auto object = std::make_unique<FileObject>();
  object->fd = OpenHostPath(hostPath->c_str(), flags, reads);
  object->folder = hostPath->parent_path();
  if (!object->fd) return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  t_lastError = ERROR_SUCCESS;
  return Keep(std::move(object));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  if (bytesRead) *bytesRead = 0;
  FileObject* object = Find<FileObject>(file);
  if (!object || overlapped) return Fail(ERROR_INVALID_HANDLE, FALSE);
  const ssize_t got = ReadFully(object->fd.get(), buffer, bytesToRead);
  if (got < 0) return Fail(ErrorFromErrno(errno), FALSE);
  if (bytesRead) *bytesRead = static_cast<DWORD>(got);
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
  if (bytesWritten) *bytesWritten = 0;
  FileObject* object = Find<FileObject>(file);
  if (!object || overlapped) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!WriteFully(object->fd.get(), buffer, bytesToWrite)) return Fail(ErrorFromErrno(errno), FALSE);
  if (bytesWritten) *bytesWritten = bytesToWrite;
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
  FileObject* object = Find<FileObject>(file);
  struct stat info {};
  if (!object) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  if (::fstat(object->fd.get(), &info) != 0) return Fail(ErrorFromErrno(errno), INVALID_FILE_SIZE);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
  t_lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh, DWORD moveMethod) {
  FileObject* object = Find<FileObject>(file);
  if (!object) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  std::int64_t distance = distanceToMove;
  if (distanceToMoveHigh) {
    distance = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceToMoveHigh)) << 32) |
                                         static_cast<DWORD>(distanceToMove));
  }
  const int whence = moveMethod == FILE_BEGIN ? SEEK_SET : moveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  const off_t position = ::lseek(object->fd.get(), static_cast<off_t>(distance), whence);
  if (position < 0) return Fail(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno), INVALID_FILE_SIZE);
  if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
  t_lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(position);
}

BOOL FlushFileBuffers(HANDLE file) {
  FileObject* object = Find<FileObject>(file);
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  // A new file is on storage only once its folder's entry for it is too.
  const UniqueFd folder(::open(object->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (::fsync(object->fd.get()) != 0 || !folder || ::fsync(folder.get()) != 0) return Fail(ErrorFromErrno(errno), FALSE);
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  if (IsDeviceHandle(object)) return CloseDevice(object);
  return Forget(object) ? TRUE : Fail(ERROR_INVALID_HANDLE, FALSE);
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  if (!IsDeviceHandle(device)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return ControlDevice(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize, bytesReturned,
                       overlapped);
}

BOOL DeleteFileW(LPCWSTR fileName) {
  if (!fileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::error_code why;
  const auto hostPath = FindTerminalPath(fileName, &why);
  if (!hostPath) return Fail(ErrorFromErrno(why.value()), FALSE);
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(*hostPath, ec))) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (::unlink(hostPath->c_str()) != 0) return Fail(ErrorFromErrno(errno), FALSE);
  // The terminal's file system commits a deletion when it is made. One that a
  // power cut could still undo would bring back a logo.bin that claims a change,
  // so a deletion that cannot be made durable has failed.
  const UniqueFd folder(::open(hostPath->parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder || ::fsync(folder.get()) != 0) return Fail(ErrorFromErrno(errno), FALSE);
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  if (!fileName || !findData) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  std::error_code why;
  const auto hostPath = FindTerminalPath(fileName, &why);
  if (!hostPath) return Fail(ErrorFromErrno(why.value()), INVALID_HANDLE_VALUE);
  std::error_code ec;
  *findData = WIN32_FIND_DATAW{};
  const bool folder = fs::is_directory(*hostPath, ec);
  findData->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (!folder) {
    const auto size = static_cast<std::uint64_t>(fs::file_size(*hostPath, ec));
    findData->nFileSizeHigh = ec ? 0 : static_cast<DWORD>(size >> 32);
    findData->nFileSizeLow = ec ? 0 : static_cast<DWORD>(size);
  }
  const WString name = FromUtf8(hostPath->filename().string());
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), MAX_PATH - 1), findData->cFileName);
  return Keep(std::make_unique<FindObject>());
}

BOOL FindClose(HANDLE findFile) {
  if (!Find<FindObject>(findFile)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return Forget(findFile) ? TRUE : FALSE;
}

std::FILE* _wfopen(const WCHAR* fileName, const WCHAR* mode) {
  if (!fileName || !mode) return nullptr;
  const WStringView modeText(mode);
  const bool writes = modeText.find_first_of(_T("wa")) != WStringView::npos;
  const bool text = modeText.find(_T('b')) == WStringView::npos;
  std::error_code why;
  const auto hostPath = writes ? CreatableTerminalPath(fileName, &why) : FindTerminalPath(fileName, &why);
  if (!hostPath) {
    errno = why.value();
    return nullptr;
  }
  const bool appends = modeText.find(_T('a')) != WStringView::npos;
  const int flags = !writes ? O_RDONLY : O_WRONLY | O_CREAT | (appends ? O_APPEND : O_TRUNC);
  UniqueFd fd = OpenHostPath(hostPath->c_str(), flags, !writes);
  if (!fd) return nullptr;
  if (text && !writes) return OpenTextStream(std::move(fd));
  std::FILE* file = ::fdopen(fd.get(), writes ? (appends ? "ab" : "wb") : "rb");
  if (file) fd.release();
  return file;
}
