#include "platform/cfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/terminal.h"

namespace {

using Cause = CFileException::Cause;

constexpr UINT kShareMask = 0x0070;
constexpr UINT kKnownFlags = kShareMask | CFile::typeBinary;

const char16_t* MessageFormat(Cause cause) {
  switch (cause) {
    case Cause::none: return u"No error occurred with %s.";
    case Cause::generic: return u"An unexpected error occurred while accessing %s.";
    case Cause::fileNotFound: return u"%s was not found.";
    case Cause::badPath: return u"All or part of the path %s is invalid.";
    case Cause::tooManyOpenFiles: return u"%s could not be opened because too many files are open.";
    case Cause::accessDenied: return u"Access to %s was denied.";
    case Cause::invalidFile: return u"%s is not a valid open file.";
    case Cause::badSeek: return u"An error occurred while seeking in %s.";
    case Cause::hardIO: return u"An error occurred while reading %s.";
    case Cause::sharingViolation: return u"%s is in use by another program.";
    case Cause::diskFull: return u"The disk holding %s is full.";
    case Cause::endOfFile: return u"An attempt was made to read past the end of %s.";
  }
  return u"An unexpected error occurred while accessing %s.";
}

}  // namespace

CException::~CException() = default;

CString CFileException::GetErrorMessage() const {
  const bool unnamed = m_strFileName.IsEmpty();
  CString message;
  message.Format(MessageFormat(m_cause), unnamed ? u"an unnamed file" : m_strFileName.GetString());
  if (unnamed && message.str().starts_with(u"an ")) {
    std::u16string text = message.str();
    text[0] = u'A';
    message = CString(std::move(text));
  }
  return message;
}

Cause CFileException::CauseFromErrno(int error) {
  switch (error) {
    case 0: return Cause::none;
    case ENOENT: return Cause::fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return Cause::badPath;
    case EMFILE:
    case ENFILE: return Cause::tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return Cause::accessDenied;
    case EBADF: return Cause::invalidFile;
    case ESPIPE: return Cause::badSeek;
    case EIO: return Cause::hardIO;
    case EBUSY:
    case ETXTBSY: return Cause::sharingViolation;
    case ENOSPC:
    case EDQUOT: return Cause::diskFull;
    default: return Cause::generic;
  }
}

CFile::~CFile() { Close(); }

BOOL CFile::Open(const char16_t* terminalPath, UINT openFlags, CFileException* error) {
  Close();
  m_strFileName = CString(terminalPath);
  const auto hostPath = terminalPath ? platform::FindTerminalPath(terminalPath) : std::nullopt;
  return OpenResolved(hostPath ? &*hostPath : nullptr, openFlags, error);
}

BOOL CFile::OpenHostFile(const std::filesystem::path& hostPath, UINT openFlags, CFileException* error) {
  Close();
  m_strFileName = CString::FromUtf8(hostPath.string());
  return OpenResolved(&hostPath, openFlags, error);
}

BOOL CFile::OpenResolved(const std::filesystem::path* hostPath, UINT openFlags, CFileException* error) {
  auto fail = [&](Cause cause, int osError) {
    if (error) *error = CFileException(cause, osError, m_strFileName);
    return FALSE;
  };
  if ((openFlags & ~kKnownFlags) != 0) return fail(Cause::accessDenied, EACCES);
  if (!hostPath) return fail(Cause::fileNotFound, ENOENT);
  // Not blocking on the open, so that a FIFO cannot hang the program.
  const int fd = ::open(hostPath->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(CFileException::CauseFromErrno(errno), errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
    ::close(fd);
    return fail(Cause::accessDenied, EISDIR);
  }
  m_fd = fd;
  return TRUE;
}

void CFile::Throw(Cause cause, int osError) const { throw CFileException(cause, osError, m_strFileName); }

void CFile::RequireOpen() const {
  if (m_fd < 0) Throw(Cause::fileNotFound, ENOENT);
}

ULONGLONG CFile::GetLength() const {
  RequireOpen();
  struct stat info {};
  if (::fstat(m_fd, &info) != 0) Throw(CFileException::CauseFromErrno(errno), errno);
  return static_cast<ULONGLONG>(info.st_size);
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  RequireOpen();
  int whence = SEEK_SET;
  switch (from) {
    case begin: whence = SEEK_SET; break;
    case current: whence = SEEK_CUR; break;
    case end: whence = SEEK_END; break;
    default: Throw(Cause::badSeek, EINVAL);
  }
  const off_t position = ::lseek(m_fd, static_cast<off_t>(offset), whence);
  if (position < 0) Throw(Cause::badSeek, errno);
  return static_cast<ULONGLONG>(position);
}

UINT CFile::Read(void* buffer, UINT count) {
  RequireOpen();
  auto* bytes = static_cast<char*>(buffer);
  UINT filled = 0;
  while (filled < count) {
    const ssize_t got = ::read(m_fd, bytes + filled, count - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Throw(CFileException::CauseFromErrno(errno), errno);
    if (got == 0) break;
    filled += static_cast<UINT>(got);
  }
  return filled;
}

void CFile::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}
