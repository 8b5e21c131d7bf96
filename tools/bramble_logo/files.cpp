#include "tools/bramble_logo/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxStandardInputBytes = std::uint64_t{1} << 30;
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

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Gives the new file a name of its own in `folder` by `make` (a create or a link):
// armed for removal by a signal before it exists, so that none falls between.
std::string NameTemporary(const fs::path& folder, const std::function<bool(const char*)>& make) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".tmp-bramble-logo-";
    for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    RemoveOnSignal((folder / name).string());
    if (make(name.c_str())) return name;
    if (errno != EEXIST) break;
  }
  const int error = errno;
  RemoveOnSignal("");
  errno = error;
  return {};
}

// Copies until the end of `from`, or until more than `limit` bytes came; the
// bytes copied, or nothing with errno.
std::optional<std::uint64_t> CopyAll(int from, int to, std::uint64_t limit) {
  std::vector<std::byte> chunk(std::size_t{1} << 16);
  std::uint64_t copied = 0;
  for (ssize_t got; (got = platform::ReadFully(from, chunk.data(), chunk.size())) != 0;) {
    if (got < 0) return std::nullopt;
    copied += static_cast<std::uint64_t>(got);
    if (copied > limit) break;
    if (!platform::WriteFully(to, chunk.data(), static_cast<std::size_t>(got))) return std::nullopt;
  }
  return copied;
}

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

std::string FileError(const char* what, const fs::path& file, int error) {
  return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

void RemoveOnSignal(const std::string& path) {
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
  if (path.empty() || path.size() >= sizeof g_leftover) return;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(g_leftover, path.c_str(), path.size() + 1);
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

// ---- inputs ------------------------------------------------------------------

Input::Input(const fs::path& name) : m_name(name == "-" ? fs::path("standard input") : name) {
  if (name == "-") {
    Spool();
    return;
  }
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

Input::Input(UniqueFd fd, fs::path name) : m_name(std::move(name)), m_fd(std::move(fd)) {
  struct stat status{};
  if (::fstat(m_fd.get(), &status) == 0) m_size = static_cast<std::uint64_t>(status.st_size);
}

void Input::Spool() {
  struct stat status{};
  if (::fstat(STDIN_FILENO, &status) != 0) {
    m_error = FileError("cannot read", m_name, errno);
  } else if (::isatty(STDIN_FILENO) == 1) {
    m_error = "standard input is a terminal: pipe a file into it, or name the file instead of -";
  } else if (S_ISREG(status.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0) {
    // A file given with < is read where it is.
    m_fd.reset(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    m_size = static_cast<std::uint64_t>(status.st_size);
    if (!m_fd) m_error = FileError("cannot read", m_name, errno);
  } else if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode)) {
    m_error = std::string("cannot read standard input: ") + KindName(status.st_mode) + ", not a file or a pipe";
  } else if (UniqueFd kept = OpenScratch(m_error); kept) {
    const auto copied = CopyAll(STDIN_FILENO, kept.get(), kMaxStandardInputBytes);
    if (!copied) {
      m_error = FileError("cannot read", m_name, errno);
    } else if (*copied > kMaxStandardInputBytes) {
      m_error = "standard input holds more than 1,024 MiB: name the file instead of -";
    } else {
      m_fd = std::move(kept);
      m_size = *copied;
    }
  }
}

std::optional<std::vector<std::byte>> Input::Read(std::uint64_t offset, std::size_t count) const {
  std::vector<std::byte> bytes(count);
  const ssize_t got = platform::ReadFully(m_fd.get(), bytes.data(), count, static_cast<off_t>(offset));
  if (got < 0) {
    m_error = FileError("cannot read", m_name, errno);
    return std::nullopt;
  }
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

// ---- outputs -----------------------------------------------------------------

Output::Output(const fs::path& name) : m_name(name == "-" ? fs::path("standard output") : name) {
  if (name == "-") {
    std::fflush(stdout);
    m_fd.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
    if (!m_fd) Fail(errno);
    TakeStandardOutput(true);
    return;
  }
  // The kernel follows the links; a link that leads to nothing yet is followed
  // here, as it cannot say where that leads without making the file.
  fs::path target = name;
  for (int hop = 0;; ++hop) {
    struct stat status{};
    if (::stat(target.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) {
        m_error = FileError("cannot write", m_name, EISDIR) + "; name a file in it";
      } else if (!S_ISREG(status.st_mode)) {
        OpenStraight(target, S_ISSOCK(status.st_mode));
      } else {
        // The file itself, as the kernel found it: a regular file that no name
        // leads to any more (deleted, or passed from elsewhere) is written into.
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
        struct stat found{};
        if (real && ::stat(real.get(), &found) == 0 && SameFile(found, status)) {
          OpenReplaced(real.get());
        } else {
          OpenStraight(target, false);
          m_truncate = true;
        }
      }
      break;
    }
    const int error = errno;
    struct stat link{};
    if (error != ENOENT || ::lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      error == ENOENT ? OpenReplaced(target) : static_cast<void>(Fail(error));
      break;
    }
    std::error_code ec;
    const fs::path next = fs::read_symlink(target, ec);
    if (ec || hop == kMaxLinks) {
      Fail(ec ? ec.value() : ELOOP);
      break;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  TakeStandardOutput(false);
}

void Output::OpenReplaced(const fs::path& place) {
  m_folderPath = place.has_parent_path() ? place.parent_path() : fs::path(".");
  m_leaf = place.filename().string();
  m_folder.reset(::open(m_folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!m_folder) return static_cast<void>(Fail(errno));
  // Unnamed, nothing of it can stay behind, whatever ends the program; where the
  // file system has no unnamed files, a name of our own that a signal removes.
  m_fd.reset(::openat(m_folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!m_fd) {
    m_temporary = NameTemporary(m_folderPath, [&](const char* name) {
      m_fd.reset(::openat(m_folder.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      return static_cast<bool>(m_fd);
    });
  }
  if (!m_fd) Fail(errno);
}

void Output::OpenStraight(const fs::path& target, bool socket) {
  struct stat named{}, out{};
  if (socket && ::stat(target.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 && SameFile(named, out)) {
    // Standard output as a socket (a service's), named /dev/stdout: no name opens it.
    m_fd.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
  } else if (socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.native().size() >= sizeof address.sun_path) return static_cast<void>(Fail(ENAMETOOLONG));
    std::memcpy(address.sun_path, target.c_str(), target.native().size());
    m_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (m_fd && ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) m_fd.reset();
  } else {
    // Neither made nor emptied; a FIFO waits here for its reader, as for any writer.
    m_fd.reset(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  }
  if (!m_fd) Fail(errno);
}

// Data and the command's own lines must not mix; a terminal would show the data
// as garbage. A device that swallows both alike (/dev/null), named as itself,
// changes nothing.
void Output::TakeStandardOutput(bool dash) {
  if (!ok()) return;
  struct stat out{}, destination{};
  const bool known = m_folder ? ::fstatat(m_folder.get(), m_leaf.c_str(), &destination, 0) == 0
                              : ::fstat(m_fd.get(), &destination) == 0;
  if (!known || ::fstat(STDOUT_FILENO, &out) != 0 || !SameFile(out, destination)) return;
  if (::isatty(STDOUT_FILENO) == 1) {
    m_error = "standard output is a terminal: redirect it to a file, or name one instead of " +
              (dash ? std::string("-") : m_name.string());
    return Discard();
  }
  if (S_ISCHR(out.st_mode) && !dash) return;
  std::fflush(stdout);
  m_savedStdout.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
  if (m_savedStdout) ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

Output::~Output() {
  Discard();
  if (m_savedStdout) {
    std::fflush(stdout);
    ::dup2(m_savedStdout.get(), STDOUT_FILENO);
  }
}

void Output::Discard() {
  m_fd.reset();
  m_scratch.reset();
  if (m_temporary.empty()) return;
  ::unlinkat(m_folder.get(), m_temporary.c_str(), 0);
  RemoveOnSignal("");
  m_temporary.clear();
}

bool Output::Fail(int error) {
  // As coreutils says it of standard output.
  m_error = TookStandardOutput() ? std::string("write error: ") + std::strerror(error) : FileError("cannot write", m_name, error);
  Discard();
  return false;
}

std::optional<fs::path> Output::PathToWrite() {
  if (!ok()) return std::nullopt;
  if (m_folder) return m_temporary.empty() ? fs::path(ProcPath(m_fd.get())) : m_folderPath / m_temporary;
  if (!m_scratch) m_scratch = OpenScratch(m_error);
  if (!m_scratch) return Discard(), std::nullopt;
  return ProcPath(m_scratch.get());
}

bool Output::Write(std::span<const std::byte> bytes) {
  if (!ok()) return false;
  if (!platform::WriteFully(m_fd.get(), bytes.data(), bytes.size())) return Fail(errno);
  m_written += bytes.size();
  return true;
}

bool Output::Commit() {
  if (!ok()) return false;
  if (m_scratch) {
    const auto sent = ::lseek(m_scratch.get(), 0, SEEK_SET) == 0 ? CopyAll(m_scratch.get(), m_fd.get(), UINT64_MAX) : std::nullopt;
    if (!sent) return Fail(errno);
    m_written = *sent;
  }
  if (m_folder) return PutInPlace();
  if (m_truncate && ::ftruncate(m_fd.get(), static_cast<off_t>(m_written)) != 0) return Fail(errno);
  if (::close(m_fd.release()) != 0) return Fail(errno);
  return true;
}

// The data is on storage before a name leads to it and the folder's entry after,
// so that a crash leaves the old file or the whole new one, never an empty one.
// Exchanging the names rather than renaming over the old file keeps the old one
// until the folder is flushed: a flush that fails gives it its name back.
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
    m_temporary = NameTemporary(m_folderPath, [&](const char* name) {
      return ::linkat(m_fd.get(), "", folder, name, AT_EMPTY_PATH) == 0 ||
             ::linkat(AT_FDCWD, ProcPath(m_fd.get()).c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0;
    });
  }
  if (m_temporary.empty() || ::close(m_fd.release()) != 0) return Fail(errno);
  const std::string moving = m_temporary;
  const bool exchanged =
      replacing && ::renameat2(folder, moving.c_str(), folder, m_leaf.c_str(), RENAME_EXCHANGE) == 0;
  if (!exchanged && ::renameat(folder, moving.c_str(), folder, m_leaf.c_str()) != 0) return Fail(errno);
  if (!exchanged) {
    m_temporary.clear();  // renamed: no name of ours is left
    RemoveOnSignal("");
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
