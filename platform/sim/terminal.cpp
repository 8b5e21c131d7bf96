#include "platform/sim/terminal.h"

#include <charconv>
#include <string>
#include <system_error>
#include <vector>

#include "platform/sim/surroundings.h"

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

// The entry of `folder` named like `name`, preferring an exact match.
std::optional<fs::path> FindEntry(const fs::path& folder, const fs::path::string_type& name) {
  std::error_code ec;
  fs::path exact = folder / name;
  if (fs::exists(exact, ec)) return exact;
  using View = std::basic_string_view<fs::path::value_type>;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (SameNameNoCase(View(it->path().filename().native()), View(name))) return it->path();
  }
  return std::nullopt;
}

std::optional<fs::path> Walk(const std::vector<fs::path::string_type>& parts, std::size_t count) {
  fs::path here = TerminalRoot();
  std::error_code ec;
  if (!fs::is_directory(here, ec)) return std::nullopt;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && !fs::is_directory(here, ec)) return std::nullopt;
    auto next = FindEntry(here, parts[i]);
    if (!next) return std::nullopt;
    here = *next;
  }
  return here;
}

}  // namespace

fs::path TerminalClaimFile(const fs::path& root) { return root / "bramble.lock"; }

HostIo ClaimTerminal(const fs::path& root, HostIo::LockResult* result) {
  HostIo claim = HostIo::Lock(TerminalClaimFile(root), result);
  if (claim) {
    // Who holds it, for the one that finds it taken.
    const std::string id = std::to_string(HostProcessId()) + "\n";
    if (claim.Truncate(0)) claim.WriteAt(id.data(), id.size(), 0);
  }
  return claim;
}

std::optional<unsigned long> TerminalClaimant(const fs::path& root) {
  const HostIo file = HostIo::Open(TerminalClaimFile(root), HostIo::Mode::kRead);
  char text[24] = {};
  const auto got = file ? file.ReadAt(text, sizeof text - 1, 0) : std::nullopt;
  unsigned long id = 0;
  if (!got || std::from_chars(text, text + *got, id).ec != std::errc{}) return std::nullopt;
  return id;
}

const fs::path& TerminalRoot() { return CurrentSurroundings().terminalRoot; }

bool IsTerminalPath(WStringView path) {
  // "\\server\share" is a network name, not a path of the terminal's one volume.
  return !path.empty() && path.front() == _T('\\') && (path.size() < 2 || path[1] != _T('\\'));
}

std::optional<fs::path> FindTerminalPath(WStringView terminalPath) {
  auto parts = Components(terminalPath);
  if (!parts) return std::nullopt;
  auto found = Walk(*parts, parts->size());
  std::error_code ec;
  // "\SDMMC DISK\" names a folder; a trailing backslash after a file finds nothing.
  if (found && terminalPath.back() == _T('\\') && !fs::is_directory(*found, ec)) return std::nullopt;
  return found;
}

std::optional<fs::path> CreatableTerminalPath(WStringView terminalPath) {
  auto parts = Components(terminalPath);
  if (!parts || parts->empty() || terminalPath.back() == _T('\\')) return std::nullopt;
  auto folder = Walk(*parts, parts->size() - 1);
  std::error_code ec;
  if (!folder || !fs::is_directory(*folder, ec)) return std::nullopt;
  if (auto existing = FindEntry(*folder, parts->back())) return existing;
  return *folder / parts->back();
}

}  // namespace platform
