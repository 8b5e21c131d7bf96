#include "tools/bramble_logo/output_file.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a chain of links

const char* KindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The name that a chain of symbolic links leads to; it need not exist yet.
fs::path FollowLinks(fs::path name, int& error) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat status{};
    if (::lstat(name.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return name;
    std::error_code ec;
    const fs::path target = fs::read_symlink(name, ec);
    if (ec) {
      error = ec.value();
      return name;
    }
    name = target.is_absolute() ? target : name.parent_path() / target;
  }
  error = ELOOP;
  return name;
}

bool WriteAll(int fd, std::span<const std::byte> bytes, int& error) {
  if (platform::WriteFully(fd, bytes.data(), bytes.size())) return true;
  error = errno;
  return false;
}

}  // namespace

std::string FileError(const char* what, const fs::path& file, int error) {
  return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

UniqueFd OpenInput(const fs::path& file, std::string& error) {
  // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for one.
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat status{};
  if (!fd || ::fstat(fd.get(), &status) != 0) {
    error = FileError("cannot read", file, errno);
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? FileError("cannot read", file, EISDIR)
                                    : "cannot read " + file.string() + ": " + KindName(status.st_mode) +
                                          ", not a regular file";
    return {};
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

Output::Output(const fs::path& name) : m_name(name == "-" ? fs::path("standard output") : name) {
  if (name == "-") {
    m_kind = Kind::kStandardOutput;
    std::fflush(stdout);
    m_fd.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
    if (!m_fd) {
      m_error = FileError("cannot write", m_name, errno);
    } else if (::isatty(m_fd.get()) == 1) {
      m_error = "standard output is a terminal: redirect it to a file, or name one instead of -";
    } else {
      m_savedStdout.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
      ::dup2(STDERR_FILENO, STDOUT_FILENO);
      m_open = true;
    }
    return;
  }
  int error = 0;
  m_target = FollowLinks(name, error);
  struct stat status{};
  if (error != 0) {
    m_error = FileError("cannot write", m_name, error);
  } else if (::stat(m_target.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
    OpenReplaced();
  } else if (S_ISDIR(status.st_mode)) {
    m_error = FileError("cannot write", m_name, EISDIR) + "; name a file in it";
  } else {
    OpenStraight(S_ISSOCK(status.st_mode));
  }
}

void Output::OpenReplaced() {
  m_kind = Kind::kReplaced;
  // A folder of our own, so that the new file can be made under the target's
  // own name without clashing, and by name without any risk of a planted link.
  const fs::path parent = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
  std::string pattern = (parent / ".tmp-bramble-logo-XXXXXX").string();
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (!::mkdtemp(folder.data())) {
    m_error = FileError("cannot write", m_name, errno);
    return;
  }
  m_folder = folder.data();
  m_temporary = m_folder / m_target.filename();
  m_fd.reset(::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!m_fd) {
    Fail(errno);
    return;
  }
  m_open = true;
}

void Output::OpenStraight(bool socket) {
  m_kind = Kind::kStraight;
  if (socket) {
    // A socket is written by connecting to it; open() cannot.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_target.native().size() >= sizeof address.sun_path) {
      m_error = FileError("cannot write", m_name, ENAMETOOLONG);
      return;
    }
    std::memcpy(address.sun_path, m_target.c_str(), m_target.native().size());
    m_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_fd || ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      Fail(errno);
      return;
    }
    m_open = true;
    return;
  }
  // No O_CREAT and no O_TRUNC: a device or FIFO is never made or emptied. A FIFO
  // waits here for its reader, as it does for any writer.
  m_fd.reset(::open(m_target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
  struct stat status{};
  if (!m_fd || ::fstat(m_fd.get(), &status) != 0) {
    Fail(errno);
  } else if (S_ISREG(status.st_mode)) {
    // Replaced by a regular file since it was looked at: writing without the
    // private folder would leave old bytes behind ours.
    m_error = "cannot write " + m_name.string() + ": it changed while it was opened";
    Discard();
  } else {
    m_open = true;
  }
}

Output::~Output() {
  Discard();
  if (m_savedStdout) {
    std::fflush(stdout);
    ::dup2(m_savedStdout.get(), STDOUT_FILENO);
  }
}

void Output::Discard() {
  m_open = false;
  m_fd.reset();
  if (!m_scratch.empty()) ::unlink(m_scratch.c_str());
  m_scratch.clear();
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  if (!m_folder.empty()) ::rmdir(m_folder.c_str());
  m_folder.clear();
}

bool Output::Fail(int error) {
  m_error = FileError("cannot write", m_name, error);
  Discard();
  return false;
}

std::optional<fs::path> Output::PathToWrite() {
  if (!m_open) return std::nullopt;
  m_byName = true;
  if (m_kind == Kind::kReplaced) {
    // Made anew by the writer: a file emptied at its open would be flushed to
    // disk at its close, which ext4 does for files that programs truncate.
    m_fd.reset();
    ::unlink(m_temporary.c_str());
    return m_temporary;
  }
  if (m_scratch.empty()) {
    std::string pattern = (fs::temp_directory_path() / "bramble-logo-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const UniqueFd scratch(::mkostemp(name.data(), O_CLOEXEC));
    if (!scratch) {
      m_error = FileError("cannot make a temporary file in", fs::temp_directory_path(), errno);
      Discard();
      return std::nullopt;
    }
    m_scratch = name.data();
  }
  return m_scratch;
}

bool Output::Write(std::span<const std::byte> bytes) {
  if (!m_open || m_byName) return false;
  int error = 0;
  return WriteAll(m_fd.get(), bytes, error) || Fail(error);
}

// What was written by name to the scratch file goes on to the destination.
bool Output::SendScratch() {
  const UniqueFd scratch(::open(m_scratch.c_str(), O_RDONLY | O_CLOEXEC));
  if (!scratch) return Fail(errno);
  std::vector<std::byte> chunk(1 << 16);
  for (;;) {
    const ssize_t got = platform::ReadFully(scratch.get(), chunk.data(), chunk.size());
    if (got < 0) return Fail(errno);
    if (got == 0) return true;
    int error = 0;
    if (!WriteAll(m_fd.get(), std::span(chunk).first(static_cast<std::size_t>(got)), error)) return Fail(error);
  }
}

bool Output::PutInPlace() {
  struct stat existing{};
  if (::lstat(m_target.c_str(), &existing) == 0) {
    // Something else took the name meanwhile: it is not ours to replace.
    if (!S_ISREG(existing.st_mode)) return Fail(EEXIST);
    // Owner and group only where we may give them (as root); the mode always.
    [[maybe_unused]] const int ignored = ::chown(m_temporary.c_str(), existing.st_uid, existing.st_gid);
    if (::chmod(m_temporary.c_str(), existing.st_mode & 07777) != 0) return Fail(errno);
  }
  // Exchanging the two names puts the new file in place as atomically as renaming
  // over the old one does, without ext4's flush of a file renamed over another
  // (meant for programs that never sync, which costs as much as a plain copy of
  // the logo). The old file, now in the private folder, goes with it.
  if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0 &&
      ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    return Fail(errno);
  }
  Discard();
  return true;
}

bool Output::Commit() {
  if (!m_open) return false;
  if (m_kind != Kind::kReplaced && !m_scratch.empty() && !SendScratch()) return false;
  if (m_fd && ::close(m_fd.release()) != 0) return Fail(errno);
  if (m_kind == Kind::kReplaced) return PutInPlace();
  Discard();
  return true;
}

}  // namespace logo_tool
