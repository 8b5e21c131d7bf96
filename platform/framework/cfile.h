#pragma once
// The framework's CFile over the platform's file handles, with its exceptions.
// Errors are thrown as CFileException by value; the message dispatch catches
// CException and shows GetErrorMessage() in the framework's standard error box.

#include "platform/framework/cstring.h"

class CException {
 public:
  virtual ~CException();
  virtual CString GetErrorMessage() const = 0;
};

class CFileException : public CException {
 public:
  enum class Cause {
    none,
    generic,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    badSeek,
    hardIO,
    sharingViolation,
    diskFull,
    endOfFile,
  };

  CFileException() = default;
  CFileException(Cause cause, LONG osError, CString fileName)
      : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

  // A sentence naming the file and what went wrong with it.
  CString GetErrorMessage() const override;

  // The cause for a platform error code, as the framework maps them.
  static Cause OsErrorToException(LONG osError);

  Cause m_cause = Cause::none;
  LONG m_lOsError = -1;
  CString m_strFileName;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    typeBinary = 0x8000,
  };
  enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

  CFile() = default;
  // A file the caller opened; the object closes it.
  explicit CFile(HANDLE file) : m_hFile(file) {}
  ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  HANDLE m_hFile = INVALID_HANDLE_VALUE;

  // Opens for reading. On failure returns FALSE and fills `error` if given; it
  // never throws. The name is kept either way, so that a later GetLength can say
  // which file is missing.
  BOOL Open(const WCHAR* fileName, UINT openFlags, CFileException* error = nullptr);

  // Each of these throws CFileException: with the file-not-found cause when no
  // file is open, and with the cause of the platform's error otherwise.
  ULONGLONG GetLength() const;
  ULONGLONG Seek(LONGLONG offset, UINT from);
  // Fills up to `count` bytes; fewer at the end of the file, 0 at its end.
  UINT Read(void* buffer, UINT count);

  // Closing a file object without a file does nothing.
  void Close();

  void SetFilePath(const WCHAR* name) { m_strFileName = CString(name); }

 private:
  [[noreturn]] void ThrowOsError(LONG osError) const;

  CString m_strFileName;
};
