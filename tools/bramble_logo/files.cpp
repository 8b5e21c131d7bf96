// What inputs and outputs do alike on both hosts; what tells a file's kind and
// puts an output in place is in files_posix.cpp and files_win32.cpp.

#include "tools/bramble_logo/files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxStandardInputBytes = std::uint64_t{1} << 30;

// Copies from `offset` (or where `from` stands) to the end, or until more than
// `limit` bytes came; the bytes copied, or nothing with errno.
std::optional<std::uint64_t> CopyAll(int from, std::optional<std::uint64_t> offset, int to, std::uint64_t limit) {
  std::vector<std::byte> chunk(std::size_t{1} << 16);
  std::uint64_t copied = 0;
  for (std::optional<std::size_t> got; (got = ReadFrom(from, chunk.data(), chunk.size(), offset)) != 0;) {
    if (!got) return std::nullopt;
    copied += *got;
    if (offset) *offset += *got;
    if (copied > limit) break;
    if (!WriteAll(to, chunk.data(), *got)) return std::nullopt;
  }
  return copied;
}

}  // namespace

std::string NameTemporary(const fs::path& folder, const std::function<bool(const char*)>& make) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".tmp-bramble-logo-";
    for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    RemoveOnSignal(folder / name);
    if (make(name.c_str())) return name;
    if (errno != EEXIST) break;
  }
  const int error = errno;
  RemoveOnSignal({});
  errno = error;
  return {};
}

std::string FileError(const char* what, const fs::path& file, int error) {
  return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

// ---- inputs ------------------------------------------------------------------

Input::Input(const std::string& name) : Input(PathOf(name)) {}

Input::Input(const fs::path& name) : m_name(name == "-" ? fs::path("standard input") : name) {
  if (name != "-") {
    Open(name);
    return;
  }
  const StandardInput in = ExamineStandardInput();
  if (in.kind == StandardInput::kRefused) {
    m_error = in.refusal;
  } else if (in.kind == StandardInput::kFile) {
    // A file given with < is read where it is.
    m_fd = DuplicateFd(STDIN_FILENO);
    if (!m_fd) m_error = FileError("cannot read", m_name, errno);
  } else if (UniqueFd kept = OpenScratch(m_error); kept) {
    const auto copied = CopyAll(STDIN_FILENO, std::nullopt, kept.get(), kMaxStandardInputBytes);
    if (!copied) {
      m_error = FileError("cannot read", m_name, errno);
    } else if (*copied > kMaxStandardInputBytes) {
      m_error = "standard input holds more than 1,024 MiB: name the file instead of -";
    } else {
      m_fd = std::move(kept);
    }
  }
  if (m_fd) m_size = SizeOf(m_fd.get()).value_or(0);
}

Input::Input(UniqueFd fd, fs::path name) : m_name(std::move(name)), m_fd(std::move(fd)) {
  m_size = SizeOf(m_fd.get()).value_or(0);
}

fs::path Input::PathToRead() const { return PathOfFd(m_fd.get()); }

std::optional<std::vector<std::byte>> Input::Read(std::uint64_t offset, std::size_t count) const {
  std::vector<std::byte> bytes(count);
  const auto got = ReadFrom(m_fd.get(), bytes.data(), count, offset);
  if (!got) {
    m_error = FileError("cannot read", m_name, errno);
    return std::nullopt;
  }
  bytes.resize(*got);
  return bytes;
}

// ---- outputs -----------------------------------------------------------------

Output::Output(const fs::path& name) : m_name(name == "-" ? fs::path("standard output") : name) {
  if (name != "-") {
    Open(name);
  } else {
    std::fflush(stdout);
    if (!(m_fd = DuplicateFd(STDOUT_FILENO))) Fail(errno);
  }
  if (ok() && (name == "-" || IsStandardOutput())) TakeStandardOutput(name == "-");
}

// Data and the command's own lines must not mix; a terminal would show the data
// as garbage.
void Output::TakeStandardOutput(bool dash) {
  if (::isatty(STDOUT_FILENO) == 1) {
    m_error = "standard output is a terminal: redirect it to a file, or name one instead of " +
              (dash ? std::string("-") : m_name.string());
    return Discard();
  }
  std::fflush(stdout);
  m_savedStdout = DuplicateFd(STDOUT_FILENO);
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
  RemoveTemporary();
  RemoveOnSignal({});
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
  if (m_replacing) return m_temporary.empty() ? PathOfFd(m_fd.get()) : m_folderPath / m_temporary;
  if (!m_scratch) m_scratch = OpenScratch(m_error);
  if (!m_scratch) return Discard(), std::nullopt;
  return PathOfFd(m_scratch.get());
}

bool Output::Write(std::span<const std::byte> bytes) {
  if (!ok()) return false;
  if (!WriteAll(m_fd.get(), bytes.data(), bytes.size())) return Fail(errno);
  m_written += bytes.size();
  return true;
}

bool Output::Commit() {
  if (!ok()) return false;
  if (m_scratch) {
    const auto sent = CopyAll(m_scratch.get(), 0, m_fd.get(), UINT64_MAX);
    if (!sent) return Fail(errno);
    m_written = *sent;
  }
  if (m_replacing) return PutInPlace();
  if (m_truncate && ::ftruncate(m_fd.get(), static_cast<off_t>(m_written)) != 0) return Fail(errno);
  if (::close(m_fd.release()) != 0) return Fail(errno);
  return true;
}

}  // namespace logo_tool
