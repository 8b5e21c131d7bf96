// Inputs and outputs on Linux: the kernel says what a name is, through any links;
// a replaced output is an unnamed file (O_TMPFILE) until it is put in place, so
// that not even SIGKILL leaves anything of it.

#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/posix_io.h"
#include "tools/bramble_logo/files.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own limit on a chain of links

const char* KindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A named temporary left behind by a signal: the handler may only read what is
// complete, so the path is written before it is armed.
char g_leftover[PATH_MAX];
volatile std::sig_atomic_t g_armed = 0;

extern "C" void RemoveLeftoverAndDie(int signal) {
  if (g_armed) ::unlink(g_leftover);
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

fs::path PathOf(const std::string& utf8) { return utf8; }

fs::path PathOfFd(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

UniqueFd DuplicateFd(int fd) { return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3)); }

std::optional<std::size_t> ReadFrom(int fd, void* buffer, std::size_t size, std::optional<std::uint64_t> offset) {
  const ssize_t got = platform::ReadFully(fd, buffer, size, offset ? static_cast<off_t>(*offset) : -1);
  return got < 0 ? std::nullopt : std::optional(static_cast<std::size_t>(got));
}

bool WriteAll(int fd, const void* data, std::size_t size) { return platform::WriteFully(fd, data, size); }

std::optional<std::uint64_t> SizeOf(int fd) {
  struct stat status{};
  return ::fstat(fd, &status) == 0 ? std::optional(static_cast<std::uint64_t>(status.st_size)) : std::nullopt;
}

void RemoveOnSignal(const fs::path& path) {
  static const bool installed = [] {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
      struct sigaction previous{};
      // A signal ignored on purpose (nohup) stays ignored.
      if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
      struct sigaction action{};
      action.sa_handler = RemoveLeftoverAndDie;
      ::sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  static_cast<void>(installed);
  g_armed = 0;
  if (path.empty() || path.native().size() >= sizeof g_leftover) return;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(g_leftover, path.c_str(), path.native().size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_armed = 1;
}

UniqueFd OpenScratch(std::string& error) {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
  UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!fd) {
    // Where the file system has no unnamed files, a name that goes at once.
    std::string name = folder + "/.tmp-bramble-logo-XXXXXX";
    fd.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (fd) ::unlink(name.c_str());
  }
  if (!fd) error = FileError("cannot make a scratch file in", folder, errno);
  return fd;
}

StandardInput ExamineStandardInput() {
  struct stat status{};
  if (::fstat(STDIN_FILENO, &status) != 0) {
    return {StandardInput::kRefused, FileError("cannot read", "standard input", errno)};
  }
  if (::isatty(STDIN_FILENO) == 1) {
    return {StandardInput::kRefused, "standard input is a terminal: pipe a file into it, or name the file instead of -"};
  }
  if (S_ISREG(status.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0) return {StandardInput::kFile, {}};
  if (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return {StandardInput::kPipe, {}};
  return {StandardInput::kRefused,
          std::string("cannot read standard input: ") + KindName(status.st_mode) + ", not a file or a pipe"};
}

void Input::Open(const fs::path& name) {
  m_fd = platform::OpenHostPath(name.c_str(), O_RDONLY | O_NOCTTY, true);
  struct stat status{};
  if (!m_fd) {
    const int error = errno;
    m_error = error == EACCES && ::stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)
                  ? "cannot read " + name.string() + ": " + KindName(status.st_mode) + ", not a regular file"
                  : FileError("cannot read", name, error);
  } else if (::fstat(m_fd.get(), &status) != 0) {
    m_error = FileError("cannot read", name, errno);
    m_fd.reset();
  }
  m_size = static_cast<std::uint64_t>(status.st_size);
}

// The kernel follows the links; a link that leads to nothing yet is followed
// here, as it cannot say where that leads without making the file.
void Output::Open(const fs::path& name) {
  fs::path target = name;
  for (int hop = 0;; ++hop) {
    struct stat status{};
    if (::stat(target.c_str(), &status) == 0) {
      const std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
      struct stat found{};
      if (S_ISDIR(status.st_mode)) {
        m_error = FileError("cannot write", m_name, EISDIR) + "; name a file in it";
        return;
      }
      if (S_ISREG(status.st_mode) && real && ::stat(real.get(), &found) == 0 && SameFile(found, status)) {
        target = real.get();
        break;
      }
      // A device, a FIFO or a socket is neither made nor emptied; a FIFO waits here
      // for its reader, as for any writer. A regular file that no name leads to any
      // more (deleted, or passed from elsewhere) is written into.
      struct stat out{};
      if (S_ISSOCK(status.st_mode) && ::fstat(STDOUT_FILENO, &out) == 0 && SameFile(status, out)) {
        m_fd = DuplicateFd(STDOUT_FILENO);  // standard output as a socket (a service's): no name opens it
      } else if (S_ISSOCK(status.st_mode)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (target.native().size() >= sizeof address.sun_path) return static_cast<void>(Fail(ENAMETOOLONG));
        std::memcpy(address.sun_path, target.c_str(), target.native().size());
        m_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (m_fd && ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) m_fd.reset();
      } else {
        m_fd.reset(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
        m_truncate = S_ISREG(status.st_mode);
      }
      if (!m_fd) Fail(errno);
      return;
    }
    const int error = errno;
    struct stat link{};
    if (error != ENOENT || ::lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      if (error != ENOENT) return static_cast<void>(Fail(error));
      break;
    }
    std::error_code ec;
    const fs::path next = fs::read_symlink(target, ec);
    if (ec || hop == kMaxLinks) return static_cast<void>(Fail(ec ? ec.value() : ELOOP));
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  m_replacing = true;
  m_folderPath = target.has_parent_path() ? target.parent_path() : fs::path(".");
  m_leaf = target.filename().string();
  m_folder.reset(::open(m_folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!m_folder) return static_cast<void>(Fail(errno));
  // Unnamed, nothing of it can stay behind, whatever ends the program; where the
  // file system has no unnamed files, a name of our own that a signal removes.
  m_fd.reset(::openat(m_folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!m_fd) {
    m_temporary = NameTemporary(m_folderPath, [&](const char* leaf) {
      m_fd.reset(::openat(m_folder.get(), leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      return static_cast<bool>(m_fd);
    });
  }
  if (!m_fd) Fail(errno);
}

// A device that swallows both alike (/dev/null), named as itself, changes nothing.
bool Output::IsStandardOutput() const {
  struct stat out{}, destination{};
  const bool known = m_replacing ? ::fstatat(m_folder.get(), m_leaf.c_str(), &destination, 0) == 0
                                 : ::fstat(m_fd.get(), &destination) == 0;
  return known && ::fstat(STDOUT_FILENO, &out) == 0 && SameFile(out, destination) &&
         (!S_ISCHR(out.st_mode) || ::isatty(STDOUT_FILENO) == 1);
}

void Output::RemoveTemporary() { ::unlinkat(m_folder.get(), m_temporary.c_str(), 0); }

// The data is on storage before a name leads to it and the folder's entry after,
// so that a crash leaves the old file or the whole new one, never an empty one.
// Exchanging the names rather than renaming over the old file keeps the old one
// until the folder is flushed: a flush that fails gives it its name back. The new
// file keeps the old one's mode (and owner, as root).
bool Output::PutInPlace() {
  const int folder = m_folder.get();
  struct stat old{};
  const bool replacing = ::fstatat(folder, m_leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (replacing && !S_ISREG(old.st_mode)) return Fail(EEXIST);  // something else took the name meanwhile
  if (replacing) {
    [[maybe_unused]] const int asRoot = ::fchown(m_fd.get(), old.st_uid, old.st_gid);
    if (::fchmod(m_fd.get(), old.st_mode & 07777) != 0) return Fail(errno);
  }
  if (::fsync(m_fd.get()) != 0) return Fail(errno);
  if (m_temporary.empty()) {
    // Straight from the descriptor where the kernel lets us (CAP_DAC_READ_SEARCH), else through /proc.
    m_temporary = NameTemporary(m_folderPath, [&](const char* leaf) {
      return ::linkat(m_fd.get(), "", folder, leaf, AT_EMPTY_PATH) == 0 ||
             ::linkat(AT_FDCWD, PathOfFd(m_fd.get()).c_str(), folder, leaf, AT_SYMLINK_FOLLOW) == 0;
    });
  }
  if (m_temporary.empty() || ::close(m_fd.release()) != 0) return Fail(errno);
  const std::string moving = m_temporary;
  const bool exchanged =
      replacing && ::renameat2(folder, moving.c_str(), folder, m_leaf.c_str(), RENAME_EXCHANGE) == 0;
  if (!exchanged && ::renameat(folder, moving.c_str(), folder, m_leaf.c_str()) != 0) return Fail(errno);
  if (!exchanged) {
    m_temporary.clear();  // renamed: no name of ours is left
    RemoveOnSignal({});
  }
  if (::fsync(folder) != 0) {
    const int error = errno;
    if (exchanged) ::renameat2(folder, moving.c_str(), folder, m_leaf.c_str(), RENAME_EXCHANGE);
    else if (!replacing) ::unlinkat(folder, m_leaf.c_str(), 0);
    return Fail(error);
  }
  Discard();  // the old file, now under the temporary name
  return true;
}

}  // namespace logo_tool
