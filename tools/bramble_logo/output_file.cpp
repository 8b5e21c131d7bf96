#include "tools/bramble_logo/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

// mkstemp makes the file private; the finished output gets what any new file of
// the user would get.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::string FileError(const char* what, const fs::path& file, int error) {
  return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

PendingOutput::PendingOutput(fs::path target) : m_target(std::move(target)) {
  const fs::path folder = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
  std::string pattern = (folder / m_target.filename()).string() + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  m_fd = ::mkstemp(name.data());
  if (m_fd < 0) {
    m_error = FileError("cannot write", m_target, errno);
    return;
  }
  m_temporary = name.data();
  ::fchmod(m_fd, NewFileMode());
}

PendingOutput::~PendingOutput() { Discard(); }

void PendingOutput::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
}

bool PendingOutput::Fail(int error) {
  m_error = FileError("cannot write", m_target, error);
  Discard();
  return false;
}

bool PendingOutput::Write(std::span<const std::byte> bytes) {
  if (m_fd < 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return Fail(written < 0 ? errno : EIO);
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool PendingOutput::Commit() {
  if (m_fd < 0) return false;
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) return Fail(errno);
  if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) return Fail(errno);
  m_committed = true;
  return true;
}

bool WriteOutputFile(const fs::path& target, std::span<const std::byte> bytes, std::string& error) {
  PendingOutput output(target);
  if (output.Write(bytes) && output.Commit()) return true;
  error = output.error();
  return false;
}

}  // namespace logo_tool
