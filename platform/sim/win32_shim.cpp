// What the desktop lacks and the terminal has, supplied to the program on
// Windows: the terminal's paths (\SDMMC DISK\..., \ResidentFlash\...) lead into
// the terminal folder, "DSK1:" reaches the simulated flash driver, and the
// registry takes the terminal's key names with their leading backslash.
//
// The program calls the platform's own CreateFileW, DeleteFileW, FindFirstFileW,
// DeviceIoControl, CloseHandle, _wfopen and RegOpenKeyExW. Like the platform's
// compatibility shims, the simulator redirects the program's imports of these
// names to functions that handle what is the terminal's and hand everything else
// to the platform unchanged.

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "platform/api/wide_text.h"
#include "platform/sim/block_device.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace {

using CreateFileFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using DeleteFileFn = BOOL(WINAPI*)(LPCWSTR);
using FindFirstFileFn = HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW);
using DeviceIoControlFn = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);
using OpenStreamFn = FILE*(__cdecl*)(const wchar_t*, const wchar_t*);
using RegOpenKeyFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);

// The platform's own functions, for everything that is not the terminal's: what
// the import slots held before they were redirected. (Taking `&::CreateFileW`
// here could give the program's own import stub, which jumps through the
// redirected slot back into the shim.)
struct {
  CreateFileFn createFile = nullptr;
  DeleteFileFn deleteFile = nullptr;
  FindFirstFileFn findFirstFile = nullptr;
  DeviceIoControlFn deviceIoControl = nullptr;
  CloseHandleFn closeHandle = nullptr;
  OpenStreamFn openStream = nullptr;
  RegOpenKeyFn regOpenKey = nullptr;
} g_platform;

bool Creates(DWORD disposition) { return disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS || disposition == CREATE_NEW; }

HANDLE WINAPI TerminalCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
  const WStringView path = name ? WStringView(name) : WStringView();
  if (IsDeviceName(path)) {
    const HANDLE device = OpenDevice(path, access, share, disposition, flags);
    if (device == INVALID_HANDLE_VALUE) ::SetLastError(ERROR_FILE_NOT_FOUND);
    return device;
  }
  if (!IsTerminalPath(path)) return g_platform.createFile(name, access, share, security, disposition, flags, templateFile);
  const auto hostPath = Creates(disposition) ? CreatableTerminalPath(path) : FindTerminalPath(path);
  if (!hostPath) {
    ::SetLastError(Creates(disposition) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE file = g_platform.createFile(hostPath->c_str(), access, share, security, disposition, flags, templateFile);
  // What the program reads must be a file on a disk: a pipe or a device holds no
  // bytes it could use, and could hold the reader for ever.
  if (file != INVALID_HANDLE_VALUE && (access & GENERIC_READ) && ::GetFileType(file) != FILE_TYPE_DISK) {
    g_platform.closeHandle(file);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

BOOL WINAPI TerminalDeleteFileW(LPCWSTR name) {
  if (!name || !IsTerminalPath(name)) return g_platform.deleteFile(name);
  const auto hostPath = FindTerminalPath(name);
  if (!hostPath) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return g_platform.deleteFile(hostPath->c_str());
}

HANDLE WINAPI TerminalFindFirstFileW(LPCWSTR name, LPWIN32_FIND_DATAW found) {
  if (!name || !IsTerminalPath(name)) return g_platform.findFirstFile(name, found);
  const auto hostPath = FindTerminalPath(name);
  if (!hostPath) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return g_platform.findFirstFile(hostPath->c_str(), found);
}

BOOL WINAPI TerminalDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                    LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  if (IsDeviceHandle(device)) return ControlDevice(device, code, in, inSize, out, outSize, bytesReturned, overlapped);
  return g_platform.deviceIoControl(device, code, in, inSize, out, outSize, bytesReturned, overlapped);
}

BOOL WINAPI TerminalCloseHandle(HANDLE object) {
  return IsDeviceHandle(object) ? CloseDevice(object) : g_platform.closeHandle(object);
}

FILE* __cdecl TerminalOpenStream(const wchar_t* name, const wchar_t* mode) {
  if (!name || !mode || !IsTerminalPath(name)) return g_platform.openStream(name, mode);
  const WStringView modeText(mode);
  if (modeText.find_first_of(L"wa+") != WStringView::npos) {
    const auto hostPath = CreatableTerminalPath(name);
    return hostPath ? g_platform.openStream(hostPath->c_str(), mode) : nullptr;
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
    g_platform.closeHandle(file);
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
  return g_platform.regOpenKey(key, subKey, options, desired, result);
}

// Points the program's import of `function` from `library` at `replacement` and
// keeps what the slot held in `original`.
template <typename Function>
void Redirect(const char* library, const char* function, Function replacement, Function& original) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name;
       ++module) {
    if (::_stricmp(reinterpret_cast<const char*>(base + module->Name), library) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD previous = 0;
      ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &previous);
      original = reinterpret_cast<Function>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, previous, &previous);
    }
  }
}

}  // namespace

void InstallTerminalShim() {
  static const bool installed = [] {
    Redirect("kernel32.dll", "CreateFileW", &TerminalCreateFileW, g_platform.createFile);
    Redirect("kernel32.dll", "DeleteFileW", &TerminalDeleteFileW, g_platform.deleteFile);
    Redirect("kernel32.dll", "FindFirstFileW", &TerminalFindFirstFileW, g_platform.findFirstFile);
    Redirect("kernel32.dll", "DeviceIoControl", &TerminalDeviceIoControl, g_platform.deviceIoControl);
    Redirect("kernel32.dll", "CloseHandle", &TerminalCloseHandle, g_platform.closeHandle);
    Redirect("msvcrt.dll", "_wfopen", &TerminalOpenStream, g_platform.openStream);
    Redirect("advapi32.dll", "RegOpenKeyExW", &TerminalRegOpenKeyExW, g_platform.regOpenKey);
    return true;
  }();
  (void)installed;
}

}  // namespace platform
