#pragma once
// Files the commands read and write, taken for what they are: an input must be a
// regular file (or "-", standard input), and an output goes where the user points.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/posix_io.h"

namespace logo_tool {

using UniqueFd = platform::UniqueFd;

// An input opened for reading. Anything but a regular file is refused before a
// byte is read: a FIFO or a device could hold the command or feed it without end.
// "-" is standard input, kept in a scratch file (at most 1 GiB) unless it is a
// regular file already, so that it can be read by name and more than once.
class Input {
 public:
  explicit Input(const std::filesystem::path& name);
  Input(UniqueFd fd, std::filesystem::path name);  // a scratch file the command made

  bool ok() const { return static_cast<bool>(m_fd); }
  const std::string& error() const { return m_error; }
  int fd() const { return m_fd.get(); }
  std::uint64_t size() const { return m_size; }
  const std::filesystem::path& name() const { return m_name; }  // for messages: "-" is "standard input"
  // This very file by name, even if another was put in its place since.
  std::filesystem::path PathToRead() const { return "/proc/self/fd/" + std::to_string(m_fd.get()); }
  // Up to `count` bytes from `offset`; nothing, with error(), when it cannot be read.
  std::optional<std::vector<std::byte>> Read(std::uint64_t offset, std::size_t count) const;

 private:
  void Spool();

  std::filesystem::path m_name;
  UniqueFd m_fd;
  std::uint64_t m_size = 0;
  mutable std::string m_error;
};

// Where a command's output goes, by what the kernel finds at its name through any
// links (/dev/stdout and /proc/self/fd/N included): a regular file or a new name
// is written as an unnamed file beside the file the name leads to, which Commit
// flushes and puts in place, so that a failing or killed command leaves the old
// file whole and nothing temporary; a device, a FIFO or a socket is written
// straight into; "-" is standard output. When the data goes where standard
// output goes, the command's own lines go to standard error while it lives.
class Output {
 public:
  explicit Output(const std::filesystem::path& name);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool ok() const { return static_cast<bool>(m_fd); }
  const std::string& error() const { return m_error; }
  bool TookStandardOutput() const { return static_cast<bool>(m_savedStdout); }
  // For code that writes only by name, instead of Write: the new file itself, or
  // a scratch file that Commit sends on.
  std::optional<std::filesystem::path> PathToWrite();
  bool Write(std::span<const std::byte> bytes);
  bool Commit();  // false, with error(), when any of it did not arrive: the old file stays

 private:
  void OpenReplaced(const std::filesystem::path& place);
  void OpenStraight(const std::filesystem::path& target, bool socket);
  void TakeStandardOutput(bool dash);
  bool PutInPlace();
  bool Fail(int error);
  void Discard();

  std::filesystem::path m_name, m_folderPath;  // as given, for messages; a replaced file's folder
  UniqueFd m_fd, m_folder, m_scratch, m_savedStdout;
  std::string m_leaf, m_temporary;  // a replaced file's name; the new one's, once it has one
  bool m_truncate = false;          // a regular file that no name leads to, written straight into
  std::uint64_t m_written = 0;
  std::string m_error;
};

// A scratch file in $TMPDIR (else /tmp) that nothing names, read and written.
UniqueFd OpenScratch(std::string& error);
// "cannot read FILE: cause", with the cause from errno.
std::string FileError(const char* what, const std::filesystem::path& file, int error);
// Removes `path` should SIGINT, SIGTERM, SIGHUP or SIGPIPE end the program, which
// the signal then ends as it would have; one path at a time, none for "".
void RemoveOnSignal(const std::string& path);

}  // namespace logo_tool
