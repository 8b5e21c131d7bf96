#include "device/identity.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <string_view>

#include "platform/debug.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/terminal.h"

namespace device {
namespace {

constexpr const char16_t* kModelTrace = u"---------------->>>>>[CBrambleDlg::CheckLimitedFunction()] - %s \r\n";
constexpr const char16_t* kModelKey = u"\\Platform\\OS";
constexpr const char16_t* kModelValue = u"ModelName";
constexpr std::size_t kModelNameChars = 128;

constexpr const char16_t* kNoVersion = u"-";
constexpr const char16_t* kInfoMissing = u"system info file not found";
constexpr unsigned kNoHelpContext = 0;
constexpr int kLineBufferBytes = 100;

// The value's bytes land in the buffer as they are, so they read as UTF-16LE text
// only on a little-endian host, as on the terminal.
static_assert(std::endian::native == std::endian::little);

}  // namespace

void CheckLimitedFunction(CString& modelName) {
  NKDbgPrintfW(kModelTrace, modelName.GetString());
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kModelKey, 0, 0, &opened) != ERROR_SUCCESS) return;
  const platform::UniqueRegKey key(opened);

  char16_t buffer[kModelNameChars] = {};
  DWORD type = REG_NONE;  // whatever the type, the bytes are taken as wide text
  DWORD byteCount = sizeof buffer;
  if (RegQueryValueExW(key.get(), kModelValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &byteCount) !=
      ERROR_SUCCESS) {
    return;
  }
  // A value that fills the buffer has no room for its own null: the last character gives way.
  buffer[std::min<std::size_t>(byteCount / sizeof(char16_t), kModelNameChars - 1)] = u'\0';
  modelName.Format(u"%s", buffer);
  NKDbgPrintfW(kModelTrace, modelName.GetString());
}

void ReadSystemInfo(CString& systemVersion, CWnd& versionBox) {
  systemVersion = kNoVersion;
  const platform::UniqueFile file = platform::OpenTerminalFileW(platform::kSystemInfoTxt, "rt");
  if (!file) {
    AfxMessageBox(kInfoMissing, MB_OK, kNoHelpContext);
    return;
  }
  char line[kLineBufferBytes] = {};
  if (!std::fgets(line, kLineBufferBytes, file.get())) return;
  // The framework's narrow-to-wide conversion stops at the first null byte as well.
  systemVersion = CString::FromAnsi(std::string_view(line));
  systemVersion.TrimRight(u'\n');
  versionBox.SetWindowText(systemVersion);
}

}  // namespace device
