#pragma once
// Files the commands read and write, taken for what they are: an input must be a
// regular file, and an output goes where the user points.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/posix/posix_io.h"

namespace logo_tool {

using UniqueFd = platform::UniqueFd;

// Opens an input for reading. Anything but a regular file is refused before a
// byte is read, so that a FIFO or a device cannot hold the command or feed it
// without end; `error` names the file and the cause.
UniqueFd OpenInput(const std::filesystem::path& file, std::string& error);

// Where a command's output goes, decided from what its name is when the command
// starts:
// - a regular file or a new name: written in a private folder beside it
//   (.tmp-bramble-logo-XXXXXX) and moved over it by Commit, so that a failing
//   command leaves no partial file and an existing one stays whole until then;
//   the new file keeps the owner and mode of the one it replaces;
// - a symbolic link: the same at the file that the link leads to, so the link
//   stays;
// - a character or block device, a FIFO or a socket: written straight into it,
//   never created, truncated, removed or renamed over;
// - "-": standard output. While the Output lives, what the command prints goes to
//   standard error, so that the data stays clean.
// A folder, or a name that cannot be written, leaves ok() false and error() says why.
class Output {
 public:
  explicit Output(const std::filesystem::path& name);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool ok() const { return m_open; }
  const std::string& error() const { return m_error; }

  // A new file to write by name, for code that can only write to a path: the one
  // that Commit puts in place, or for a destination that is no file a private
  // scratch file whose bytes Commit sends on. Use either this or Write.
  std::optional<std::filesystem::path> PathToWrite();

  bool Write(std::span<const std::byte> bytes);
  // Puts the output in place; false with error() when any of it did not arrive.
  bool Commit();

 private:
  enum class Kind { kReplaced, kStraight, kStandardOutput };

  void OpenReplaced();
  void OpenStraight(bool socket);
  bool SendScratch();
  bool PutInPlace();
  bool Fail(int error);
  void Discard();

  std::filesystem::path m_name;    // as the user gave it, for messages
  std::filesystem::path m_target;  // where the links lead
  Kind m_kind = Kind::kReplaced;
  bool m_open = false;
  UniqueFd m_fd;                      // where Write writes
  std::filesystem::path m_folder;     // kReplaced: the private folder
  std::filesystem::path m_temporary;  // kReplaced: the new file in it
  bool m_byName = false;              // PathToWrite was asked
  std::filesystem::path m_scratch;    // kStraight, kStandardOutput: written by name
  UniqueFd m_savedStdout;             // kStandardOutput
  std::string m_error;
};

// "cannot read FILE: cause" and the like, with the cause from errno.
std::string FileError(const char* what, const std::filesystem::path& file, int error);

}  // namespace logo_tool
