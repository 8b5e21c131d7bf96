#include "device/identity.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <string_view>

namespace device {
namespace {

constexpr const WCHAR* kModelTrace = _T("---------------->>>>>[CBrambleDlg::CheckLimitedFunction()] - %s \r\n");
constexpr const WCHAR* kModelKey = _T("\\Platform\\OS");
constexpr const WCHAR* kModelValue = _T("ModelName");
constexpr std::size_t kModelNameChars = 128;

constexpr const WCHAR* kNoVersion = _T("-");
constexpr const WCHAR* kInfoMissing = _T("system info file not found");
constexpr UINT kNoHelpContext = 0;
constexpr int kLineBufferBytes = 100;

// The value's bytes land in the buffer as they are, so they read as UTF-16LE text
// only on a little-endian host, as on the terminal.
static_assert(std::endian::native == std::endian::little);

// The answers that say the model name is not there, or too long to be one: the
// terminal then has no model of the list.
bool SaysNoModel(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND || status == ERROR_MORE_DATA;
}

}  // namespace

bool CheckLimitedFunction(CString& modelName) {
  NKDbgPrintfW(kModelTrace, modelName.GetString());
  HKEY key = nullptr;
  if (const LSTATUS opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kModelKey, 0, 0, &key); opened != ERROR_SUCCESS) {
    return SaysNoModel(opened);
  }

  WCHAR buffer[kModelNameChars] = {};
  DWORD type = REG_NONE;  // whatever the type, the bytes are taken as wide text
  DWORD byteCount = sizeof buffer;
  const LSTATUS status =
      ::RegQueryValueExW(key, kModelValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &byteCount);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return SaysNoModel(status);
  // A value that fills the buffer has no room for its own null: the last character gives way.
  buffer[std::min<std::size_t>(byteCount / sizeof(WCHAR), kModelNameChars - 1)] = 0;
  modelName.Format(_T("%s"), buffer);
  NKDbgPrintfW(kModelTrace, modelName.GetString());
  return true;
}

void ReadSystemInfo(CString& systemVersion, CWnd& versionBox) {
  systemVersion = kNoVersion;
  const platform::UniqueFile file(_wfopen(platform::kSystemInfoTxt, _T("rt")));
  if (!file) {
    AfxMessageBox(kInfoMissing, MB_OK, kNoHelpContext);
    return;
  }
  char line[kLineBufferBytes] = {};
  if (!std::fgets(line, kLineBufferBytes, file.get())) return;
  // The framework's narrow-to-wide conversion stops at the first null byte as well.
  systemVersion = CString::FromAnsi(std::string_view(line));
  systemVersion.TrimRight(_T('\n'));
  versionBox.SetWindowText(systemVersion);
}

}  // namespace device
