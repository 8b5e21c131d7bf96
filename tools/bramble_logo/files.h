#pragma once
// Files the commands read and write, taken for what they are: an input must be a
// regular file (or "-", standard input), and an output goes where the user points.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/posix/posix_io.h"

namespace logo_tool {

using UniqueFd = platform::UniqueFd;

// The most that "-" may bring: a photo is a few megabytes, and standard input is
// kept in a temporary file so that it can be read more than once.
inline constexpr std::uint64_t kMaxStandardInputBytes = std::uint64_t{1} << 30;

// An input opened for reading. Anything but a regular file is refused before a
// byte is read, so that a FIFO or a device cannot hold the command or feed it
// without end. "-" is standard input, kept in an unnamed temporary file unless it
// is a regular file already.
class Input {
 public:
  explicit Input(const std::filesystem::path& name);
  // A file the command made itself (a scratch file), named `name` in messages.
  Input(UniqueFd fd, std::filesystem::path name);

  bool ok() const { return static_cast<bool>(m_fd); }
  const std::string& error() const { return m_error; }
  int errorNumber() const { return m_errorNumber; }  // errno's value for error(), where there was one
  int fd() const { return m_fd.get(); }
  std::uint64_t size() const { return m_size; }
  // As the user gave it, for messages: "-" is "standard input".
  const std::filesystem::path& name() const { return m_name; }
  // A name that opens this very file, for code that reads only by name: no file
  // put in its place since it was checked, and standard input too.
  std::filesystem::path PathToRead() const;

 private:
  void Spool();

  std::filesystem::path m_name;
  UniqueFd m_fd;
  std::uint64_t m_size = 0;
  std::string m_error;
  int m_errorNumber = 0;
};

// Where a command's output goes, decided when the command starts by what the
// kernel finds at its name (through any links, /dev/stdout and /proc/self/fd/N
// included):
// - a regular file or a new name: written as an unnamed file in the folder of the
//   file the name leads to, which Commit puts in place, so that a failing or
//   interrupted command leaves neither a partial file nor a temporary one and an
//   existing file stays whole until then; the new file keeps the owner and mode
//   of the one it replaces; a symbolic link stays a link;
// - a character or block device, a FIFO or a socket: written straight into it,
//   never created, truncated, removed or renamed over;
// - "-": standard output.
// While an Output that goes where standard output goes lives, what the command
// prints goes to standard error, so that the data stays clean; a terminal there is
// refused. A folder, or a name that cannot be written, leaves ok() false and
// error() says why.
class Output {
 public:
  explicit Output(const std::filesystem::path& name);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool ok() const { return m_open; }
  const std::string& error() const { return m_error; }
  // The data goes where standard output goes, and the command's lines to standard error.
  bool TookStandardOutput() const { return static_cast<bool>(m_savedStdout); }

  // A name to write the whole output by, for code that can only write to a path:
  // it opens the file that Commit puts in place or, for a destination that is no
  // file, an unnamed scratch file whose bytes Commit sends on. Use either this or
  // Write.
  std::optional<std::filesystem::path> PathToWrite();

  bool Write(std::span<const std::byte> bytes);
  // Puts the output in place; false with error() when any of it did not arrive.
  bool Commit();

 private:
  enum class Kind { kReplaced, kStraight };

  void OpenReplaced(const std::filesystem::path& target);
  void OpenStraight(const std::filesystem::path& target, bool socket);
  void TakeOverStandardOutput(bool dash);
  bool SendScratch();
  bool PutInPlace();
  bool SyncFolder();
  bool Fail(int error);
  void Discard();

  std::filesystem::path m_name;  // as the user gave it, for messages
  Kind m_kind = Kind::kReplaced;
  bool m_open = false;
  UniqueFd m_fd;                   // where Write writes
  UniqueFd m_folder;               // kReplaced: the folder of the file to replace
  std::filesystem::path m_folderPath;
  std::string m_leaf;              // kReplaced: its name there
  std::string m_namedTemporary;    // kReplaced, where no unnamed file can be made
  bool m_truncate = false;         // kStraight into a regular file: cut it to what was written
  std::uint64_t m_written = 0;
  bool m_byName = false;           // PathToWrite was asked
  UniqueFd m_scratch;              // kStraight written by name
  UniqueFd m_savedStdout;          // standard output while the command's lines go to standard error
  std::string m_error;
};

// Where scratch files go: $TMPDIR, else /tmp; named even when it is no folder.
std::filesystem::path ScratchFolder();
// A scratch file there, read and written, that nothing names: it is gone however
// the program ends. Nothing, with `error` from errno, when none can be made.
UniqueFd OpenScratch(int& error);

// "cannot read FILE: cause" and the like, with the cause from errno.
std::string FileError(const char* what, const std::filesystem::path& file, int error);

// Removes `path` should SIGINT, SIGTERM, SIGHUP or SIGPIPE end the program before
// Forget(path); the signal then ends it as it would have. At most a few at once.
void RemoveOnSignal(const std::string& path);
void Forget(const std::string& path);

}  // namespace logo_tool
