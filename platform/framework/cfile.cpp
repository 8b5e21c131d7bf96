#include "platform/framework/cfile.h"

namespace {

using Cause = CFileException::Cause;

constexpr UINT kShareMask = 0x0070;
constexpr UINT kKnownFlags = kShareMask | CFile::typeBinary;

const WCHAR* MessageFormat(Cause cause) {
  switch (cause) {
    case Cause::none: return _T("No error occurred with %s.");
    case Cause::generic: return _T("An unexpected error occurred while accessing %s.");
    case Cause::fileNotFound: return _T("%s was not found.");
    case Cause::badPath: return _T("All or part of the path %s is invalid.");
    case Cause::tooManyOpenFiles: return _T("%s could not be opened because too many files are open.");
    case Cause::accessDenied: return _T("Access to %s was denied.");
    case Cause::invalidFile: return _T("%s is not a valid open file.");
    case Cause::badSeek: return _T("An error occurred while seeking in %s.");
    case Cause::hardIO: return _T("An error occurred while reading %s.");
    case Cause::sharingViolation: return _T("%s is in use by another program.");
    case Cause::diskFull: return _T("The disk holding %s is full.");
    case Cause::endOfFile: return _T("An attempt was made to read past the end of %s.");
  }
  return _T("An unexpected error occurred while accessing %s.");
}

}  // namespace

CException::~CException() = default;

CString CFileException::GetErrorMessage() const {
  const bool unnamed = m_strFileName.IsEmpty();
  CString message;
  message.Format(MessageFormat(m_cause), unnamed ? _T("an unnamed file") : m_strFileName.GetString());
  if (unnamed && message.str().starts_with(_T("an "))) {
    platform::WString text = message.str();
    text[0] = _T('A');
    message = CString(std::move(text));
  }
  return message;
}

Cause CFileException::OsErrorToException(LONG osError) {
  switch (osError) {
    case ERROR_SUCCESS: return Cause::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE: return Cause::fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return Cause::badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return Cause::tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return Cause::accessDenied;
    case ERROR_CRC: return Cause::hardIO;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK: return Cause::badSeek;
    case ERROR_SHARING_VIOLATION: return Cause::sharingViolation;
    case ERROR_HANDLE_EOF: return Cause::endOfFile;
    case ERROR_DISK_FULL: return Cause::diskFull;
    default: return Cause::generic;
  }
}

CFile::~CFile() { Close(); }

BOOL CFile::Open(const WCHAR* fileName, UINT openFlags, CFileException* error) {
  Close();
  m_strFileName = CString(fileName);
  if ((openFlags & ~kKnownFlags) != 0) {
    // Only reading is supported: the system never writes through CFile.
    if (error) *error = CFileException(Cause::accessDenied, ERROR_ACCESS_DENIED, m_strFileName);
    return FALSE;
  }
  // The compatibility mode is exclusive, as the framework maps it.
  DWORD share = 0;
  switch (openFlags & kShareMask) {
    case shareDenyWrite: share = 0x1; break;  // FILE_SHARE_READ
    case shareDenyRead: share = 0x2; break;   // FILE_SHARE_WRITE
    case shareDenyNone: share = 0x3; break;
    default: break;
  }
  m_hFile = ::CreateFileW(fileName, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_hFile != INVALID_HANDLE_VALUE) return TRUE;
  if (error) {
    const auto osError = static_cast<LONG>(::GetLastError());
    *error = CFileException(CFileException::OsErrorToException(osError), osError, m_strFileName);
  }
  return FALSE;
}

void CFile::ThrowOsError(LONG osError) const {
  throw CFileException(CFileException::OsErrorToException(osError), osError, m_strFileName);
}

ULONGLONG CFile::GetLength() const {
  if (m_hFile == INVALID_HANDLE_VALUE) ThrowOsError(ERROR_INVALID_HANDLE);
  DWORD high = 0;
  const DWORD low = ::GetFileSize(m_hFile, &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != ERROR_SUCCESS) ThrowOsError(static_cast<LONG>(::GetLastError()));
  return (ULONGLONG{high} << 32) | low;
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  if (m_hFile == INVALID_HANDLE_VALUE) ThrowOsError(ERROR_INVALID_HANDLE);
  const DWORD method = from == begin ? FILE_BEGIN : from == current ? FILE_CURRENT : FILE_END;
  auto high = static_cast<LONG>(static_cast<ULONGLONG>(offset) >> 32);
  ::SetLastError(ERROR_SUCCESS);
  const DWORD low = ::SetFilePointer(m_hFile, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != ERROR_SUCCESS) ThrowOsError(static_cast<LONG>(::GetLastError()));
  return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
}

UINT CFile::Read(void* buffer, UINT count) {
  if (m_hFile == INVALID_HANDLE_VALUE) ThrowOsError(ERROR_INVALID_HANDLE);
  DWORD read = 0;
  if (!::ReadFile(m_hFile, buffer, count, &read, nullptr)) ThrowOsError(static_cast<LONG>(::GetLastError()));
  return read;
}

void CFile::Close() {
  if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
}
