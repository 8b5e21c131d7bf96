#include "platform/files.h"

#include <cstring>
#include <string>
#include <system_error>

#include "platform/codepage.h"
#include "platform/terminal.h"
#include "platform/text_stream.h"

namespace platform {
namespace {

bool IsTextMode(std::string_view mode) { return mode.find('b') == std::string_view::npos && mode.find('r') != std::string_view::npos; }
bool IsWriteMode(std::string_view mode) { return mode.find('w') != std::string_view::npos || mode.find('a') != std::string_view::npos; }

}  // namespace

UniqueFile OpenTerminalFileW(std::u16string_view path, const char* mode) {
  const std::string_view modeView(mode ? mode : "");
  const auto hostPath = IsWriteMode(modeView) ? CreatableTerminalPath(path) : FindTerminalPath(path);
  if (!hostPath) {
    errno = ENOENT;
    return nullptr;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(*hostPath, ec)) {
    errno = EISDIR;
    return nullptr;
  }
  if (IsTextMode(modeView)) return OpenTextFile(*hostPath);
  std::string hostMode(modeView);
  if (hostMode.find('b') == std::string::npos) hostMode += 'b';
  return UniqueFile(std::fopen(hostPath->c_str(), hostMode.c_str()));
}

UniqueFile OpenTerminalFile(std::string_view ansiPath, const char* mode) {
  return OpenTerminalFileW(AnsiToWide(ansiPath), mode);
}

bool CloseChecked(UniqueFile file) {
  if (!file) return false;
  const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
  const bool closed = std::fclose(file.release()) == 0;
  return flushed && closed;
}

}  // namespace platform

bool FileExists(const CString& path) { return platform::FindTerminalPath(path.str()).has_value(); }

bool DeleteFileW(const char16_t* path) {
  if (!path) return false;
  const auto hostPath = platform::FindTerminalPath(path);
  std::error_code ec;
  if (!hostPath || std::filesystem::is_directory(*hostPath, ec)) return false;
  return std::filesystem::remove(*hostPath, ec);
}
