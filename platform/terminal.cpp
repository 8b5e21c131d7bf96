#include "platform/terminal.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/cstring.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

fs::path g_root = "terminal";

// Case folding for names: ASCII letters only, which is what cards written on a PC
// differ in (LOGO.BMP); other characters must match exactly.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// Splits "\A\B\c" into its components; a trailing backslash names the folder itself.
std::optional<std::vector<std::string>> Components(std::u16string_view terminalPath) {
  if (terminalPath.empty() || terminalPath.front() != u'\\') return std::nullopt;
  std::vector<std::string> parts;
  std::size_t start = 1;
  while (start <= terminalPath.size()) {
    std::size_t end = terminalPath.find(u'\\', start);
    if (end == std::u16string_view::npos) end = terminalPath.size();
    const std::u16string_view part = terminalPath.substr(start, end - start);
    if (part == u"..") return std::nullopt;
    if (!part.empty() && part != u".") parts.push_back(Utf16ToUtf8(part));
    start = end + 1;
  }
  return parts;
}

// The entry of folder named like `name`, preferring an exact match.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path exact = folder / name;
  if (fs::exists(exact, ec)) return exact;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (SameName(it->path().filename().string(), name)) return it->path();
  }
  return std::nullopt;
}

std::optional<fs::path> Walk(const std::vector<std::string>& parts, std::size_t count) {
  fs::path here = g_root;
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

fs::path ChooseTerminalRoot(const std::optional<fs::path>& option) {
  if (option) return *option;
  if (const char* env = std::getenv("BRAMBLE_ROOT"); env && *env) return env;
  return "terminal";
}

void SetTerminalRoot(fs::path root) { g_root = std::move(root); }
const fs::path& TerminalRoot() { return g_root; }

std::optional<fs::path> FindTerminalPath(std::u16string_view terminalPath) {
  auto parts = Components(terminalPath);
  if (!parts) return std::nullopt;
  auto found = Walk(*parts, parts->size());
  std::error_code ec;
  // "\SDMMC DISK\" names a folder; a trailing backslash after a file finds nothing.
  if (found && terminalPath.back() == u'\\' && !fs::is_directory(*found, ec)) return std::nullopt;
  return found;
}

std::optional<fs::path> CreatableTerminalPath(std::u16string_view terminalPath) {
  auto parts = Components(terminalPath);
  if (!parts || parts->empty() || terminalPath.back() == u'\\') return std::nullopt;
  auto folder = Walk(*parts, parts->size() - 1);
  std::error_code ec;
  if (!folder || !fs::is_directory(*folder, ec)) return std::nullopt;
  if (auto existing = FindEntry(*folder, parts->back())) return existing;
  return *folder / parts->back();
}

ScopedTerminalRoot::ScopedTerminalRoot(fs::path root) : m_previous(g_root) { g_root = std::move(root); }
ScopedTerminalRoot::~ScopedTerminalRoot() { g_root = m_previous; }

}  // namespace platform
