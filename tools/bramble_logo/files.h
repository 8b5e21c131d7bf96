#pragma once
// Files the commands read and write, taken for what they are: an input must be a
// regular file (or "-", standard input), and an output goes where the user points.
// Descriptors are the C library's on both hosts (on Windows, over a handle); what
// tells a file's kind, puts an output in place and cleans up after a signal is the
// host's own (files_posix.cpp, files_win32.cpp).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/framework/unique_fd.h"

namespace logo_tool {

using UniqueFd = platform::UniqueFd;

// An input opened for reading. Anything but a regular file is refused before a
// byte is read: a FIFO or a device could hold the command or feed it without end.
// "-" is standard input, kept in a scratch file (at most 1 GiB) unless it is a
// regular file already, so that it can be read by name and more than once.
class Input {
 public:
  explicit Input(const std::filesystem::path& name);
  explicit Input(const std::string& name);        // as given on the command line, UTF-8
  Input(UniqueFd fd, std::filesystem::path name);  // a scratch file the command made

  bool ok() const { return static_cast<bool>(m_fd); }
  const std::string& error() const { return m_error; }
  int fd() const { return m_fd.get(); }
  std::uint64_t size() const { return m_size; }
  const std::filesystem::path& name() const { return m_name; }  // for messages: "-" is "standard input"
  // This very file by name, even if another was put in its place since.
  std::filesystem::path PathToRead() const;
  // Up to `count` bytes from `offset`; nothing, with error(), when it cannot be read.
  std::optional<std::vector<std::byte>> Read(std::uint64_t offset, std::size_t count) const;

 private:
  void Open(const std::filesystem::path& name);  // the host's

  std::filesystem::path m_name;
  UniqueFd m_fd;
  std::uint64_t m_size = 0;
  mutable std::string m_error;
};

// Where a command's output goes, by what the host finds at its name through any
// links (/dev/stdout and /proc/self/fd/N included): a regular file or a new name
// is written as a file of its own beside the file the name leads to, which Commit
// flushes and puts in place, so that a failing or killed command leaves the old
// file whole; a device, a FIFO or a socket is written straight into; "-" is
// standard output. When the data goes where standard output goes, the command's
// own lines go to standard error while it lives.
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
  // The host's: finds what the name is and opens it, or a new file beside it.
  void Open(const std::filesystem::path& name);
  bool IsStandardOutput() const;
  bool PutInPlace();
  void RemoveTemporary();
  void TakeStandardOutput(bool dash);
  bool Fail(int error);
  void Discard();

  std::filesystem::path m_name, m_folderPath;  // as given, for messages; a replaced file's folder
  UniqueFd m_fd, m_folder, m_scratch, m_savedStdout;
  std::string m_leaf, m_temporary;  // a replaced file's name; the new one's, once it has one
  bool m_replacing = false;         // written beside the file, then put in its place
  bool m_truncate = false;          // a regular file that no name leads to, written straight into
  std::uint64_t m_written = 0;
  std::string m_error;
};

// A name given on the command line, UTF-8 on both hosts, as a path.
std::filesystem::path PathOf(const std::string& utf8);
// The file open at `fd` by a name that the C library opens.
std::filesystem::path PathOfFd(int fd);
// A copy of `fd` that no child inherits, above the standard streams.
UniqueFd DuplicateFd(int fd);
// A scratch file in the host's temporary folder, read and written, gone at the end.
UniqueFd OpenScratch(std::string& error);
// "cannot read FILE: cause", with the cause from errno.
std::string FileError(const char* what, const std::filesystem::path& file, int error);
// Removes `path` should the program be ended by a signal (SIGINT, SIGTERM, SIGHUP,
// SIGPIPE; Ctrl-C or Ctrl-Break on Windows), which then ends it as it would have;
// one path at a time, none for "".
void RemoveOnSignal(const std::filesystem::path& path);

// ---- the host's, for files.cpp ----------------------------------------------

// Reads until `size` bytes or the end, at `offset` or else where the descriptor
// stands: the bytes read; nothing with errno when none could be.
std::optional<std::size_t> ReadFrom(int fd, void* buffer, std::size_t size, std::optional<std::uint64_t> offset);
// All of `size` bytes, or false with errno.
bool WriteAll(int fd, const void* data, std::size_t size);
std::optional<std::uint64_t> SizeOf(int fd);
// What standard input is: a file read from its start, a pipe to keep, or neither
// (`refusal` says why).
struct StandardInput {
  enum Kind { kFile, kPipe, kRefused } kind;
  std::string refusal;
};
StandardInput ExamineStandardInput();
// Gives a new file a name of its own in `folder` by `make` (a create or a link,
// false with errno): ".tmp-bramble-logo-" and eight letters, armed for removal by
// a signal before it exists, so that none falls between. "" when none was made.
std::string NameTemporary(const std::filesystem::path& folder, const std::function<bool(const char*)>& make);

}  // namespace logo_tool
