#include "tools/bramble_logo/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>
#include <vector>

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a chain of links
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;
constexpr char kTemporaryPrefix[] = ".tmp-bramble-logo-";

const char* KindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// ---- what a signal must not leave behind -------------------------------------

// SIGPIPE too: a reader of standard output that leaves ends the program as it
// ends any other (141 in the shell), with no temporary file left behind.
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

struct Leftover {
  std::atomic<bool> set{false};
  std::array<char, PATH_MAX> path{};
};
std::array<Leftover, 4> g_leftovers;
static_assert(std::atomic<bool>::is_always_lock_free, "read by a signal handler");

extern "C" void RemoveLeftoversAndDie(int signal) {
  for (Leftover& leftover : g_leftovers) {
    if (leftover.set.load()) ::unlink(leftover.path.data());
  }
  // The signal, blocked while its handler runs, ends the program as it would have.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void InstallSignalHandlers() {
  static const bool installed = [] {
    for (const int signal : kCleanedSignals) {
      struct sigaction previous{};
      // A signal ignored on purpose (nohup) stays ignored.
      if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
      struct sigaction action{};
      action.sa_handler = RemoveLeftoversAndDie;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  static_cast<void>(installed);
}

// Holds those signals back while a name is made and used up in a few
// steps, so that none can fall between them.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCleanedSignals) sigaddset(&set, signal);
    ::pthread_sigmask(SIG_BLOCK, &set, &m_previous);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t m_previous;
};

// ---- temporary files ---------------------------------------------------------

std::string RandomTemporaryName() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::string name = kTemporaryPrefix;
  for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// A new file in `folder` without a name, so that nothing of it stays whatever
// ends the program, SIGKILL included; it can be linked into place later.
UniqueFd OpenUnnamed(int folder, int access, mode_t mode) {
  return UniqueFd(::openat(folder, ".", O_TMPFILE | access | O_CLOEXEC, mode));
}

// Gives the unnamed file open at `fd` the name `name` in `folder`; never over an
// existing name. Straight from the descriptor where the kernel lets us (with
// CAP_DAC_READ_SEARCH), else through its entry in /proc.
bool LinkUnnamed(int fd, int folder, const std::string& name) {
  return ::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ||
         ::linkat(AT_FDCWD, DescriptorPath(fd).c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Where the file system cannot make an unnamed file: a hidden name of our own,
// removed by any way out but SIGKILL. `name` gets its name in `folder`.
UniqueFd OpenNamedTemporary(int folder, const fs::path& folderPath, int access, std::string& name) {
  const SignalsHeld held;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = RandomTemporaryName();
    UniqueFd fd(::openat(folder, name.c_str(), access | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd) {
      RemoveOnSignal((folderPath / name).string());
      return fd;
    }
    if (errno != EEXIST) break;
  }
  name.clear();
  return {};
}

bool CopyAll(int from, int to, std::uint64_t limit, std::uint64_t& copied, int& error) {
  std::vector<std::byte> chunk(kChunkBytes);
  copied = 0;
  for (;;) {
    const ssize_t got = platform::ReadFully(from, chunk.data(), chunk.size());
    if (got < 0) {
      error = errno;
      return false;
    }
    if (got == 0) return true;
    copied += static_cast<std::uint64_t>(got);
    if (copied > limit) return true;
    if (!platform::WriteFully(to, chunk.data(), static_cast<std::size_t>(got))) {
      error = errno;
      return false;
    }
  }
}

}  // namespace

std::string FileError(const char* what, const fs::path& file, int error) {
  return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

fs::path ScratchFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/tmp";
}

UniqueFd OpenScratch(int& error) {
  const fs::path folder = ScratchFolder();
  const UniqueFd where(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  UniqueFd fd = where ? OpenUnnamed(where.get(), O_RDWR, 0600) : UniqueFd();
  if (!fd && where) {
    const SignalsHeld held;
    std::string name;
    fd = OpenNamedTemporary(where.get(), folder, O_RDWR, name);
    if (fd) {
      ::unlinkat(where.get(), name.c_str(), 0);
      Forget((folder / name).string());
    }
  }
  error = errno;
  return fd;
}

void RemoveOnSignal(const std::string& path) {
  InstallSignalHandlers();
  if (path.size() >= PATH_MAX) return;
  for (Leftover& leftover : g_leftovers) {
    if (leftover.set.load()) continue;
    std::memcpy(leftover.path.data(), path.c_str(), path.size() + 1);
    leftover.set.store(true);
    return;
  }
}

void Forget(const std::string& path) {
  for (Leftover& leftover : g_leftovers) {
    if (leftover.set.load() && path == leftover.path.data()) leftover.set.store(false);
  }
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
    m_errorNumber = error;
    if (error == EACCES && ::stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      m_error = "cannot read " + name.string() + ": " + KindName(status.st_mode) + ", not a regular file";
    } else {
      m_error = FileError("cannot read", name, error);
    }
    return;
  }
  if (::fstat(m_fd.get(), &status) != 0) {
    m_error = FileError("cannot read", name, errno);
    m_fd.reset();
    return;
  }
  m_size = static_cast<std::uint64_t>(status.st_size);
}

void Input::Spool() {
  struct stat status{};
  if (::fstat(STDIN_FILENO, &status) != 0) {
    m_error = FileError("cannot read", m_name, errno);
    return;
  }
  if (::isatty(STDIN_FILENO) == 1) {
    m_error = "standard input is a terminal: pipe a file into it, or name the file instead of -";
    return;
  }
  // A file given with < is read where it is, from its start.
  if (S_ISREG(status.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0) {
    m_fd.reset(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    m_size = static_cast<std::uint64_t>(status.st_size);
    if (!m_fd) m_error = FileError("cannot read", m_name, errno);
    return;
  }
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode)) {
    m_error = std::string("cannot read standard input: ") + KindName(status.st_mode) + ", not a file or a pipe";
    return;
  }
  int error = 0;
  UniqueFd kept = OpenScratch(error);
  if (!kept) {
    m_error = FileError("cannot keep standard input in", ScratchFolder(), error);
    return;
  }
  if (!CopyAll(STDIN_FILENO, kept.get(), kMaxStandardInputBytes, m_size, error)) {
    m_error = FileError("cannot read", m_name, error);
  } else if (m_size > kMaxStandardInputBytes) {
    m_error = "standard input holds more than " + std::to_string(kMaxStandardInputBytes >> 20) +
              " MiB: name the file instead of -";
  } else {
    m_fd = std::move(kept);
  }
}

Input::Input(UniqueFd fd, fs::path name) : m_name(std::move(name)), m_fd(std::move(fd)) {
  struct stat status{};
  if (::fstat(m_fd.get(), &status) != 0) {
    m_errorNumber = errno;
    m_error = FileError("cannot read", m_name, m_errorNumber);
    m_fd.reset();
    return;
  }
  m_size = static_cast<std::uint64_t>(status.st_size);
}

fs::path Input::PathToRead() const { return DescriptorPath(m_fd.get()); }

// ---- outputs -----------------------------------------------------------------

Output::Output(const fs::path& name) : m_name(name == "-" ? fs::path("standard output") : name) {
  if (name == "-") {
    m_kind = Kind::kStraight;
    std::fflush(stdout);
    m_fd.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
    m_open = static_cast<bool>(m_fd);
    if (!m_open) m_error = FileError("cannot write", m_name, errno);
    TakeOverStandardOutput(true);
    return;
  }
  // The kernel follows the links, /dev/stdout and /proc/self/fd/N included. Only
  // a link that leads to nothing yet is followed here, one step at a time: the
  // kernel cannot say where it leads without making the file.
  fs::path target = name;
  for (int hop = 0;; ++hop) {
    struct stat status{};
    if (::stat(target.c_str(), &status) == 0) {
      if (S_ISDIR(status.st_mode)) {
        m_error = FileError("cannot write", m_name, EISDIR) + "; name a file in it";
      } else if (S_ISREG(status.st_mode)) {
        OpenReplaced(target);
      } else {
        OpenStraight(target, S_ISSOCK(status.st_mode));
      }
      break;
    }
    const int error = errno;
    std::error_code ec;
    if (error != ENOENT) {
      m_error = FileError("cannot write", m_name, error);
      break;
    }
    if (!fs::is_symlink(fs::symlink_status(target, ec))) {
      OpenReplaced(target);
      break;
    }
    const fs::path next = fs::read_symlink(target, ec);
    if (ec || hop == kMaxLinks) {
      m_error = FileError("cannot write", m_name, ec ? ec.value() : ELOOP);
      break;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  TakeOverStandardOutput(false);
}

void Output::OpenReplaced(const fs::path& target) {
  m_kind = Kind::kReplaced;
  fs::path place = target;
  struct stat existing{};
  if (::stat(target.c_str(), &existing) == 0) {
    // The name of the file itself, as the kernel found it through the links.
    const UniqueFd file(::open(target.c_str(), O_PATH | O_CLOEXEC));
    std::array<char, PATH_MAX> real{};
    const ssize_t length = file ? ::readlink(DescriptorPath(file.get()).c_str(), real.data(), real.size() - 1) : -1;
    struct stat found{};
    if (length <= 0 || real[0] != '/' || ::stat(real.data(), &found) != 0 || !SameFile(found, existing)) {
      // No name leads to the file any more (deleted, or seen through a descriptor
      // from elsewhere): what it names is written into.
      OpenStraight(target, false);
      m_truncate = m_open;
      return;
    }
    place = std::string(real.data(), static_cast<std::size_t>(length));
  }
  const fs::path folder = place.has_parent_path() ? place.parent_path() : fs::path(".");
  m_folderPath = folder;
  m_leaf = place.filename().string();
  m_folder.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!m_folder) {
    Fail(errno);
    return;
  }
  m_fd = OpenUnnamed(m_folder.get(), O_WRONLY, 0666);
  if (!m_fd) m_fd = OpenNamedTemporary(m_folder.get(), folder, O_WRONLY, m_namedTemporary);
  if (!m_fd) {
    Fail(errno);
    return;
  }
  m_open = true;
}

void Output::OpenStraight(const fs::path& target, bool socket) {
  m_kind = Kind::kStraight;
  if (socket) {
    // Standard output as a socket (a service's log), named /dev/stdout: the kernel
    // opens no socket by name, so the descriptor is taken as it is.
    struct stat named{}, out{};
    if (::stat(target.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 && SameFile(named, out)) {
      m_fd.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
      if (!m_fd) Fail(errno);
      m_open = static_cast<bool>(m_fd);
      return;
    }
    // A socket of the file system is written by connecting to it.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.native().size() >= sizeof address.sun_path) {
      m_error = FileError("cannot write", m_name, ENAMETOOLONG);
      return;
    }
    std::memcpy(address.sun_path, target.c_str(), target.native().size());
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
  m_fd.reset(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!m_fd) Fail(errno);
  m_open = static_cast<bool>(m_fd);
}

// The data goes where standard output goes (-, /dev/stdout, the file behind it):
// the command's own lines then go to standard error. A terminal would show the
// data as garbage; a device that swallows both alike (/dev/null), named as itself,
// changes nothing.
void Output::TakeOverStandardOutput(bool dash) {
  if (!m_open) return;
  struct stat out{}, destination{};
  const bool destinationKnown = m_kind == Kind::kReplaced
                                    ? ::fstatat(m_folder.get(), m_leaf.c_str(), &destination, 0) == 0
                                    : ::fstat(m_fd.get(), &destination) == 0;
  if (::fstat(STDOUT_FILENO, &out) != 0 || !destinationKnown || !SameFile(out, destination)) return;
  if (::isatty(STDOUT_FILENO) == 1) {
    m_error = "standard output is a terminal: redirect it to a file, or name one instead of " +
              (dash ? std::string("-") : m_name.string());
    Discard();
    return;
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
  m_open = false;
  m_fd.reset();
  m_scratch.reset();
  if (!m_namedTemporary.empty()) {
    ::unlinkat(m_folder.get(), m_namedTemporary.c_str(), 0);
    Forget((m_folderPath / m_namedTemporary).string());
    m_namedTemporary.clear();
  }
}

bool Output::Fail(int error) {
  // As coreutils says it of standard output.
  m_error = TookStandardOutput() ? std::string("write error: ") + std::strerror(error) : FileError("cannot write", m_name, error);
  Discard();
  return false;
}

std::optional<fs::path> Output::PathToWrite() {
  if (!m_open) return std::nullopt;
  m_byName = true;
  if (m_kind == Kind::kReplaced) {
    if (!m_namedTemporary.empty()) return m_folderPath / m_namedTemporary;
    return DescriptorPath(m_fd.get());
  }
  if (!m_scratch) {
    int error = 0;
    m_scratch = OpenScratch(error);
    if (!m_scratch) {
      m_error = FileError("cannot make a temporary file in", ScratchFolder(), error);
      Discard();
      return std::nullopt;
    }
  }
  return DescriptorPath(m_scratch.get());
}

bool Output::Write(std::span<const std::byte> bytes) {
  if (!m_open || m_byName) return false;
  if (!platform::WriteFully(m_fd.get(), bytes.data(), bytes.size())) return Fail(errno);
  m_written += bytes.size();
  return true;
}

// What was written by name to the scratch file goes on to the destination.
bool Output::SendScratch() {
  if (::lseek(m_scratch.get(), 0, SEEK_SET) != 0) return Fail(errno);
  int error = 0;
  if (!CopyAll(m_scratch.get(), m_fd.get(), UINT64_MAX, m_written, error)) return Fail(error);
  return true;
}

// Makes the folder's entries durable: a name put in place is on storage only once
// its folder is.
bool Output::SyncFolder() {
  const UniqueFd folder(::openat(m_folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder && ::fsync(folder.get()) == 0;
}

bool Output::PutInPlace() {
  const SignalsHeld held;
  struct stat existing{};
  const bool replacing = ::fstatat(m_folder.get(), m_leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (replacing) {
    // Something else took the name meanwhile: it is not ours to replace.
    if (!S_ISREG(existing.st_mode)) return Fail(EEXIST);
    // Owner and group only where we may give them (as root); the mode always.
    [[maybe_unused]] const int ignored = ::fchown(m_fd.get(), existing.st_uid, existing.st_gid);
    if (::fchmod(m_fd.get(), existing.st_mode & 07777) != 0) return Fail(errno);
  }
  // The data is on storage before any name leads to it: after a crash, the name
  // holds the old file or the whole new one, never an empty one.
  if (::fsync(m_fd.get()) != 0) return Fail(errno);
  std::string moving = m_namedTemporary;
  if (moving.empty()) {
    // A new name takes the file at once; an old one is exchanged below.
    if (!replacing && LinkUnnamed(m_fd.get(), m_folder.get(), m_leaf)) {
      const bool closed = ::close(m_fd.release()) == 0;
      const int error = errno;
      if (closed && SyncFolder()) {
        Discard();
        return true;
      }
      const int failure = closed ? errno : error;
      ::unlinkat(m_folder.get(), m_leaf.c_str(), 0);  // not reported as written: not left as if it were
      return Fail(failure);
    }
    for (int attempt = 0; moving.empty() && attempt < 100; ++attempt) {
      const std::string name = RandomTemporaryName();
      if (LinkUnnamed(m_fd.get(), m_folder.get(), name)) {
        moving = name;
        m_namedTemporary = name;
        RemoveOnSignal((m_folderPath / name).string());
      } else if (errno != EEXIST) {
        return Fail(errno);
      }
    }
    if (moving.empty()) return Fail(EEXIST);
  }
  if (::close(m_fd.release()) != 0) return Fail(errno);
  // Exchanging the two names puts the new file in place as atomically as renaming
  // over the old one does, without ext4's flush of a file renamed over another
  // (meant for programs that never sync, which costs as much as a plain copy of
  // the logo). The old file, now under the temporary name, goes with it.
  const int folder = m_folder.get();
  const bool exchanged =
      replacing && ::renameat2(folder, moving.c_str(), folder, m_leaf.c_str(), RENAME_EXCHANGE) == 0;
  if (!exchanged && ::renameat(folder, moving.c_str(), folder, m_leaf.c_str()) != 0) return Fail(errno);
  if (!exchanged) {
    Forget((m_folderPath / moving).string());
    m_namedTemporary.clear();
  }
  if (!SyncFolder()) {
    const int error = errno;
    // An old file is still there under the temporary name: it takes its own back.
    // A new name goes; an old file renamed over is lost either way.
    if (exchanged) {
      ::renameat2(folder, moving.c_str(), folder, m_leaf.c_str(), RENAME_EXCHANGE);
    } else if (!replacing) {
      ::unlinkat(folder, m_leaf.c_str(), 0);
    }
    return Fail(error);
  }
  // The old file's name goes unsynced: a crash in the next seconds may bring it
  // back as a hidden temporary, which harms no output and is not worth a third
  // flush in every command.
  Discard();
  return true;
}

bool Output::Commit() {
  if (!m_open) return false;
  if (m_scratch && !SendScratch()) return false;
  if (m_truncate && ::ftruncate(m_fd.get(), static_cast<off_t>(m_written)) != 0) return Fail(errno);
  if (m_kind == Kind::kReplaced) return PutInPlace();
  if (m_fd && ::close(m_fd.release()) != 0) return Fail(errno);
  Discard();
  return true;
}

}  // namespace logo_tool
