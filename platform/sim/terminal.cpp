#include "platform/sim/terminal.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>


namespace platform {
namespace fs = std::filesystem;
namespace {

// A component as the host names it.
fs::path::string_type NativeName(WStringView component) {
#ifdef _WIN32
  return fs::path::string_type(component);
#else
  return ToUtf8(component);
#endif
}

// Splits "\A\B\c" into its components; a trailing backslash names the folder itself.
std::optional<std::vector<fs::path::string_type>> Components(WStringView terminalPath) {
  if (!IsTerminalPath(terminalPath)) return std::nullopt;
  std::vector<fs::path::string_type> parts;
  std::size_t start = 1;
  while (start <= terminalPath.size()) {
    std::size_t end = terminalPath.find(_T('\\'), start);
    if (end == WStringView::npos) end = terminalPath.size();
    const WStringView part = terminalPath.substr(start, end - start);
    // Only a backslash separates: a host separator or a NUL inside a name could
    // lead out of the terminal folder, as ".." could.
    if (part == _T("..") || part.find_first_of(WStringView(_T("/\0"), 2)) != WStringView::npos) return std::nullopt;
    if (!part.empty() && part != _T(".")) parts.push_back(NativeName(part));
    start = end + 1;
  }
  return parts;
}

// Whether `path` is a folder; when not, `error` says why: ENOTDIR, or the
// host's error when it could not be looked at.
bool IsFolder(const fs::path& path, std::error_code& error) {
  const bool folder = fs::is_directory(path, error);
  if (!folder && !error) error = std::make_error_code(std::errc::not_a_directory);
  return folder;
}

// The entry of `folder` named like `name`, preferring an exact match. Nothing
// when there is none (`error` ENOENT) or when the folder could not be read (the
// host's error): only the first means that the file is not there.
std::optional<fs::path> FindEntry(const fs::path& folder, const fs::path::string_type& name, std::error_code& error) {
  fs::path exact = folder / name;
  if (fs::exists(exact, error)) return exact;
  if (error) return std::nullopt;
  using View = std::basic_string_view<fs::path::value_type>;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (SameNameNoCase(View(it->path().filename().native()), View(name))) return it->path();
  }
  if (!error) error = std::make_error_code(std::errc::no_such_file_or_directory);
  return std::nullopt;
}

// The first `count` components below the terminal folder. A folder missing on the
// way is ENOTDIR, the last component missing ENOENT.
std::optional<fs::path> Walk(const std::vector<fs::path::string_type>& parts, std::size_t count, std::error_code& error) {
  fs::path here = TerminalRoot();
  if (!IsFolder(here, error)) return std::nullopt;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && !IsFolder(here, error)) return std::nullopt;
    auto next = FindEntry(here, parts[i], error);
    if (!next) {
      if (error == std::errc::no_such_file_or_directory && i + 1 < count) error = std::make_error_code(std::errc::not_a_directory);
      return std::nullopt;
    }
    here = *next;
  }
  return here;
}

}  // namespace

// The most a claim file holds: a process id and a line feed.
constexpr std::size_t kClaimBytes = 24;

fs::path TerminalClaimFile(const fs::path& root) { return root / "bramble.lock"; }

HostIo ClaimTerminal(const fs::path& root, HostIo::LockResult* result) {
  HostIo claim = HostIo::Lock(TerminalClaimFile(root), result);
  // The claim file holds nothing or the id of its last claimant. Anything else is
  // no file of ours (on a host that cannot see links, a link's target), and is
  // left as it is.
  char held[kClaimBytes + 1] = {};
  const auto size = claim ? claim.Size() : std::nullopt;
  const auto got = size && *size <= kClaimBytes ? claim.ReadAt(held, *size, 0) : std::nullopt;
  if (claim && (!got || !std::all_of(held, held + *got, [](char c) { return (c >= '0' && c <= '9') || c == '\n'; }))) {
    claim = HostIo();
    if (result) *result = HostIo::LockResult::kUnavailable;
  }
  if (claim) {
    // Who holds it, for the one that finds it taken.
    const std::string id = std::to_string(CurrentHost().ProcessId()) + "\n";
    if (claim.Truncate(0)) claim.WriteAt(id.data(), id.size(), 0);
  }
  return claim;
}

std::optional<unsigned long> TerminalClaimant(const fs::path& root) {
  const HostIo file = HostIo::Open(TerminalClaimFile(root), HostIo::Mode::kRead);
  char text[kClaimBytes] = {};
  const auto got = file ? file.ReadAt(text, sizeof text - 1, 0) : std::nullopt;
  unsigned long id = 0;
  if (!got || std::from_chars(text, text + *got, id).ec != std::errc{}) return std::nullopt;
  return id;
}

const fs::path& TerminalRoot() { return CurrentHost().terminalRoot; }

fs::path ChooseTerminalRoot(const std::optional<fs::path>& option) {
  if (option) return *option;
  if (const char* env = std::getenv("BRAMBLE_ROOT"); env && *env) return env;
  return kDefaultTerminalFolder;
}

bool IsTerminalPath(WStringView path) {
  // "\\server\share" is a network name, not a path of the terminal's one volume.
  return !path.empty() && path.front() == _T('\\') && (path.size() < 2 || path[1] != _T('\\'));
}

std::optional<fs::path> FindTerminalPath(WStringView terminalPath, std::error_code* why) {
  std::error_code error = std::make_error_code(std::errc::no_such_file_or_directory);  // no such file on the terminal
  std::optional<fs::path> found;
  if (const auto parts = Components(terminalPath)) {
    error.clear();
    found = Walk(*parts, parts->size(), error);
    // "\SDMMC DISK\" names a folder; a trailing backslash after a file finds nothing.
    if (found && terminalPath.back() == _T('\\') && !IsFolder(*found, error)) found.reset();
  }
  if (why) *why = error;
  return found;
}

std::optional<fs::path> CreatableTerminalPath(WStringView terminalPath, std::error_code* why) {
  std::error_code error = std::make_error_code(std::errc::no_such_file_or_directory);  // no such file on the terminal
  std::optional<fs::path> found;
  const auto parts = Components(terminalPath);
  if (parts && !parts->empty() && terminalPath.back() != _T('\\')) {
    error.clear();
    const auto folder = Walk(*parts, parts->size() - 1, error);
    if (!folder || !IsFolder(*folder, error)) {
      // The file's own folder is missing: the path is not there.
      if (error == std::errc::no_such_file_or_directory) error = std::make_error_code(std::errc::not_a_directory);
    } else {
      found = FindEntry(*folder, parts->back(), error);
      if (!found && error == std::errc::no_such_file_or_directory) {
        found = *folder / parts->back();  // a new file takes the case given
        error.clear();
      }
    }
  }
  if (why) *why = error;
  return found;
}

}  // namespace platform
