// What the desktop lacks and the terminal has, for the system's code on Windows
// (platform/api/windows_api.h routes its calls here): the terminal's paths
// (\SDMMC DISK\..., \ResidentFlash\...) lead into the terminal folder, "DSK1:"
// reaches the simulated flash driver, and the registry takes the terminal's key
// names with their leading backslash. Everything else goes to the platform
// unchanged.

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <system_error>

#include "platform/text/wide_text.h"
#include "platform/sim/block_device.h"
#include "platform/sim/terminal.h"

using namespace platform;

namespace {

bool Creates(DWORD disposition) { return disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS || disposition == CREATE_NEW; }

// The host path of a terminal path, existing or to be made; none, with the
// platform's error for why: only the first two mean that the file is not there.
std::optional<std::filesystem::path> HostPath(WStringView path, bool creates) {
  std::error_code why;
  auto hostPath = creates ? CreatableTerminalPath(path, &why) : FindTerminalPath(path, &why);
  if (!hostPath) {
    ::SetLastError(why == std::errc::no_such_file_or_directory ? ERROR_FILE_NOT_FOUND
                   : why == std::errc::not_a_directory       ? ERROR_PATH_NOT_FOUND
                                                             : ERROR_CRC);  // the medium failed
  }
  return hostPath;
}

}  // namespace

HANDLE WINAPI TerminalCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
  const WStringView path = name ? WStringView(name) : WStringView();
  if (IsDeviceName(path)) {
    const HANDLE device = OpenDevice(path, access, share, disposition, flags);
    if (device == INVALID_HANDLE_VALUE) ::SetLastError(ERROR_FILE_NOT_FOUND);
    return device;
  }
  if (!IsTerminalPath(path)) return ::CreateFileW(name, access, share, security, disposition, flags, templateFile);
  const auto hostPath = HostPath(path, Creates(disposition));
  if (!hostPath) return INVALID_HANDLE_VALUE;
  const HANDLE file = ::CreateFileW(hostPath->c_str(), access, share, security, disposition, flags, templateFile);
  // What the program reads must be a file on a disk: a pipe or a device holds no
  // bytes it could use, and could hold the reader for ever.
  if (file != INVALID_HANDLE_VALUE && (access & GENERIC_READ) && ::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

BOOL WINAPI TerminalDeleteFileW(LPCWSTR name) {
  if (!name || !IsTerminalPath(name)) return ::DeleteFileW(name);
  const auto hostPath = HostPath(name, false);
  return hostPath ? ::DeleteFileW(hostPath->c_str()) : FALSE;
}

HANDLE WINAPI TerminalFindFirstFileW(LPCWSTR name, LPWIN32_FIND_DATAW found) {
  if (!name || !IsTerminalPath(name)) return ::FindFirstFileW(name, found);
  const auto hostPath = HostPath(name, false);
  return hostPath ? ::FindFirstFileW(hostPath->c_str(), found) : INVALID_HANDLE_VALUE;
}

BOOL WINAPI TerminalDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                    LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  if (IsDeviceHandle(device)) return ControlDevice(device, code, in, inSize, out, outSize, bytesReturned, overlapped);
  return ::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned, overlapped);
}

BOOL WINAPI TerminalCloseHandle(HANDLE object) {
  return IsDeviceHandle(object) ? CloseDevice(object) : ::CloseHandle(object);
}

FILE* __cdecl TerminalOpenStream(const wchar_t* name, const wchar_t* mode) {
  if (!name || !mode || !IsTerminalPath(name)) return ::_wfopen(name, mode);
  const WStringView modeText(mode);
  if (modeText.find_first_of(L"wa+") != WStringView::npos) {
    const auto hostPath = CreatableTerminalPath(name);
    return hostPath ? ::_wfopen(hostPath->c_str(), mode) : nullptr;
  }
  // Read through the same open as CreateFileW, so the same files are refused.
  const HANDLE file = TerminalCreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return nullptr;
  }
  const bool text = modeText.find(L'b') == WStringView::npos;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | (text ? _O_TEXT : _O_BINARY));
  if (fd < 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  FILE* stream = ::_wfdopen(fd, mode);
  if (!stream) ::_close(fd);
  return stream;
}

// The terminal's registry takes "\Platform\OS" as the desktop's takes
// "Platform\OS", and it ignores the access asked for, where the desktop grants
// a key opened for no access nothing to read.
LSTATUS WINAPI TerminalRegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  while (subKey && *subKey == L'\\') ++subKey;
  if (desired == 0) desired = KEY_READ;
  return ::RegOpenKeyExW(key, subKey, options, desired, result);
}
