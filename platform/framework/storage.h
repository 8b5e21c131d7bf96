#pragma once
// The terminal's storage as the system's code uses it: its fixed paths, the
// existence test, and owners for the handles and streams it opens.

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/api/storage_paths.h"
#include "platform/framework/cstring.h"

// One directory search for the path: true for a file or a folder (a folder may be
// written with its trailing backslash, "\SDMMC DISK\"). Nothing of the entry found
// is looked at.
bool FileExists(const CString& path);

namespace platform {

// Owns a handle from CreateFileW and closes it once; an invalid one is never closed.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.m_handle, INVALID_HANDLE_VALUE));
    return *this;
  }
  HANDLE get() const { return m_handle; }
  explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (*this) ::CloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  HANDLE m_handle;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Closes the stream and tells whether everything written reached the file.
bool CloseChecked(UniqueFile file);

}  // namespace platform
