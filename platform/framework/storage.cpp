#include "platform/framework/storage.h"

bool FileExists(const CString& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return true;
}

namespace platform {

bool CloseChecked(UniqueFile file) {
  if (!file) return false;
  const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
  const bool closed = std::fclose(file.release()) == 0;
  return flushed && closed;
}

}  // namespace platform
