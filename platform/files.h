#pragma once
// Files on the terminal: the C library's stdio over terminal paths, and the
// existence test that the dialog uses.

#include <cstdio>
#include <memory>
#include <string_view>

#include "platform/cstring.h"

namespace platform {

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file) std::fclose(file);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen on a terminal path given as narrow text in the ANSI code page.
// Modes: "rb", "wb", "r", "rt". Text mode ("rt", "r") turns each CR LF into LF.
UniqueFile OpenTerminalFile(std::string_view ansiPath, const char* mode);
// _wfopen: the same on a wide path.
UniqueFile OpenTerminalFileW(std::u16string_view path, const char* mode);

// Closes the stream and tells whether everything written reached the file.
bool CloseChecked(UniqueFile file);

}  // namespace platform

// One directory search for the path: true for a file or a folder (a folder may be
// written with its trailing backslash, "\SDMMC DISK\").
bool FileExists(const CString& path);

// DeleteFileW on a terminal path.
bool DeleteFileW(const char16_t* path);
