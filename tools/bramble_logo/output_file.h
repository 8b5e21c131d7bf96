#pragma once
// Output files that appear under their name only when complete.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

namespace logo_tool {

// Written under a temporary name beside the target (TARGET.tmp-XXXXXX), renamed
// to the target by Commit and removed on every other way out, so a failing
// command leaves no partial file and an existing target stays whole until then.
class PendingOutput {
 public:
  explicit PendingOutput(std::filesystem::path target);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // False when the temporary file could not be created; error() says why.
  bool ok() const { return m_fd >= 0; }
  const std::filesystem::path& temporaryPath() const { return m_temporary; }
  const std::string& error() const { return m_error; }

  bool Write(std::span<const std::byte> bytes);
  bool Commit();

 private:
  bool Fail(int error);
  void Discard();

  std::filesystem::path m_target;
  std::filesystem::path m_temporary;
  int m_fd = -1;
  bool m_committed = false;
  std::string m_error;
};

// The whole file at once through a PendingOutput; on failure `error` names the
// file and the cause.
bool WriteOutputFile(const std::filesystem::path& target, std::span<const std::byte> bytes, std::string& error);

// "cannot read FILE: cause" and the like, with the cause from errno.
std::string FileError(const char* what, const std::filesystem::path& file, int error);

}  // namespace logo_tool
