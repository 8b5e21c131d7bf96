#include "flash/change_mark.h"

namespace flash {

bool MarkChangePending() {
  static constexpr char kContent[] = "logo change in progress\r\n";
  constexpr DWORD kLength = sizeof kContent - 1;
  DWORD written = 0;
  platform::UniqueHandle mark(::CreateFileW(platform::kLogoPendingMark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool kept = mark && ::WriteFile(mark.get(), kContent, kLength, &written, nullptr) && written == kLength &&
                    ::FlushFileBuffers(mark.get());
  mark.reset();
  if (!kept) ::DeleteFileW(platform::kLogoPendingMark);  // nothing was sent: no change is pending
  return kept;
}

bool ClearChangePending() { return RemoveFileIfPresent(platform::kLogoPendingMark); }

bool ChangeMayBePending() {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(platform::kLogoPendingMark, &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
  }
  ::FindClose(search);
  return true;
}

bool RemoveFileIfPresent(const WCHAR* path) {
  return ::DeleteFileW(path) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace flash
