#include "platform/sim/registry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

#include "platform/formats/little_endian.h"
#include "platform/sim/host_files.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace {

constexpr const WCHAR* kRegistryFileName = _T("registry.reg");
constexpr std::array<std::string_view, 2> kHeaders = {"REGEDIT4", "Windows Registry Editor Version 5.00"};
constexpr std::array<WStringView, 5> kRootNames = {_T("HKEY_LOCAL_MACHINE"), _T("HKEY_CURRENT_USER"),
                                                   _T("HKEY_CLASSES_ROOT"), _T("HKEY_USERS"),
                                                   _T("HKEY_CURRENT_CONFIG")};
constexpr std::string_view kBlanks = " \t";
// A registry export of a terminal is a few kilobytes; a bigger file is no export.
constexpr std::uintmax_t kMaxRegistryFileBytes = 1 << 20;

bool SameName(WStringView a, WStringView b) { return SameNameNoCase(a, b); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameNameNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimLeft(std::string_view text) {
  const auto start = text.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view{} : text.substr(start);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  return text.substr(0, text.find_last_not_of(kBlanks) + 1);
}

// A file saved by the platform's editor is UTF-16LE with its mark; one written on
// a host is UTF-8, perhaps with a mark. Either way the parser sees UTF-8.
std::string ToUtf8Text(std::string_view bytes) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
  if (bytes.starts_with(kUtf8Mark)) return std::string(bytes.substr(kUtf8Mark.size()));
  if (!bytes.starts_with(kUtf16LeMark)) return std::string(bytes);
  const LittleEndianReader reader(bytes.data(), bytes.size());
  WString units;
  units.reserve(bytes.size() / 2);
  for (std::size_t offset = kUtf16LeMark.size(); reader.has(offset, 2); offset += 2) units += static_cast<WCHAR>(*reader.u16(offset));
  return ToUtf8(units);
}

// 1 to maxDigits hex digits, nothing else.
std::optional<DWORD> ParseHexNumber(std::string_view text, std::size_t maxDigits) {
  DWORD value = 0;
  const char* end = text.data() + text.size();
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
  return error == std::errc{} && stop == end ? std::optional(value) : std::nullopt;
}

// A quoted text at the front of `rest`, which is advanced behind the closing quote.
std::optional<std::string> TakeQuoted(std::string_view& rest) {
  if (rest.empty() || rest.front() != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '"') {
      rest.remove_prefix(i + 1);
      return text;
    }
    if (c == '\\') {
      if (i + 1 >= rest.size() || (rest[i + 1] != '\\' && rest[i + 1] != '"')) return std::nullopt;
      ++i;
    }
    text += rest[i];
  }
  return std::nullopt;
}

std::optional<WString> ParseSectionHeader(std::string_view line) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  const WString path = FromUtf8(line.substr(1, line.size() - 2));
  // Every component must have a name; this also refuses "[]" and a trailing backslash.
  if (path.empty() || path.back() == _T('\\') || path.find(_T("\\\\")) != WString::npos) return std::nullopt;
  const WStringView root = WStringView(path).substr(0, path.find(_T('\\')));
  const bool knownRoot =
      std::any_of(kRootNames.begin(), kRootNames.end(), [&](WStringView name) { return SameName(name, root); });
  if (!knownRoot) return std::nullopt;
  return path;
}

std::optional<std::vector<BYTE>> ParseHexBytes(std::string_view list) {
  std::vector<BYTE> bytes;
  list = Trim(list);
  if (list.empty()) return bytes;
  if (list.back() == ',') list.remove_suffix(1);  // left by a continuation
  while (true) {
    const auto comma = list.find(',');
    const auto byte = ParseHexNumber(Trim(list.substr(0, comma)), 2);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<BYTE>(*byte));
    if (comma == std::string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

std::vector<BYTE> StringData(std::string_view utf8) {
  std::vector<BYTE> data;
  for (const WCHAR unit : FromUtf8(utf8)) {
    data.push_back(static_cast<BYTE>(unit & 0xFF));
    data.push_back(static_cast<BYTE>(unit >> 8));
  }
  data.insert(data.end(), 2, BYTE{0});  // the terminating null belongs to the value
  return data;
}

// The lines of a text, each without its CR LF or LF.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    const auto end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

// One value line ("Name"=data or @=data); hex data may go on over the lines from
// `next`, each but the last ending in a backslash.
std::optional<RegistryValue> ParseValue(std::string_view line, const std::vector<std::string_view>& lines, std::size_t& next) {
  RegistryValue value;
  std::string_view rest = line;
  if (rest.front() == '@') {
    rest.remove_prefix(1);
  } else {
    auto name = TakeQuoted(rest);
    if (!name) return std::nullopt;
    value.name = FromUtf8(*name);
  }
  rest = TrimLeft(rest);
  if (rest.empty() || rest.front() != '=') return std::nullopt;
  rest = TrimLeft(rest.substr(1));

  if (!rest.empty() && rest.front() == '"') {
    auto text = TakeQuoted(rest);
    if (!text || !Trim(rest).empty()) return std::nullopt;
    value.type = REG_SZ;
    value.data = StringData(*text);
    return value;
  }
  if (StartsWithNoCase(rest, "dword:")) {
    const auto number = ParseHexNumber(Trim(rest.substr(6)), 8);
    if (!number) return std::nullopt;
    value.type = REG_DWORD;
    value.data = {static_cast<BYTE>(*number), static_cast<BYTE>(*number >> 8), static_cast<BYTE>(*number >> 16),
                  static_cast<BYTE>(*number >> 24)};
    return value;
  }
  if (!StartsWithNoCase(rest, "hex")) return std::nullopt;
  rest.remove_prefix(3);
  value.type = REG_BINARY;
  if (!rest.empty() && rest.front() == '(') {
    const auto close = rest.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    const auto type = ParseHexNumber(rest.substr(1, close - 1), 8);
    if (!type) return std::nullopt;
    value.type = *type;
    rest.remove_prefix(close + 1);
  }
  if (rest.empty() || rest.front() != ':') return std::nullopt;
  std::string list(Trim(rest.substr(1)));
  while (!list.empty() && list.back() == '\\' && next < lines.size()) {
    list.pop_back();
    list += Trim(lines[next++]);
  }
  auto bytes = ParseHexBytes(list);
  if (!bytes) return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

// Sections of the same name, written twice, make one key.
std::size_t KeyIndexFor(ParsedRegistry& registry, WString path) {
  for (std::size_t i = 0; i < registry.keys.size(); ++i) {
    if (SameName(registry.keys[i].path, path)) return i;
  }
  registry.keys.push_back(RegistryKeyData{std::move(path), {}});
  return registry.keys.size() - 1;
}

void SetValue(RegistryKeyData& key, RegistryValue value) {
  for (auto& existing : key.values) {
    if (SameName(existing.name, value.name)) {
      existing = std::move(value);  // the later line wins, as on import
      return;
    }
  }
  key.values.push_back(std::move(value));
}

}  // namespace

ParsedRegistry ParseRegistry(std::string_view bytes) {
  enum class Section { None, Broken, Open };
  const std::string text = ToUtf8Text(bytes);
  ParsedRegistry registry;
  const std::vector<std::string_view> lines = Lines(text);
  if (std::find(kHeaders.begin(), kHeaders.end(), Trim(lines[0])) == kHeaders.end()) registry.skippedLines.push_back(1);

  Section section = Section::None;
  std::size_t current = 0;
  for (std::size_t next = 1; next < lines.size();) {
    const int number = static_cast<int>(++next);  // counted from 1
    const std::string_view line = Trim(lines[next - 1]);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (auto path = ParseSectionHeader(line)) {
        current = KeyIndexFor(registry, std::move(*path));
        section = Section::Open;
      } else {
        registry.skippedLines.push_back(number);
        section = Section::Broken;
      }
      continue;
    }
    if (line.front() != '"' && line.front() != '@') {
      registry.skippedLines.push_back(number);
      continue;
    }
    auto value = ParseValue(line, lines, next);
    // Values under a header that was already reported are dropped quietly; a value
    // before any header has no key to go to.
    if (!value || section == Section::None) {
      registry.skippedLines.push_back(number);
    } else if (section == Section::Open) {
      SetValue(registry.keys[current], std::move(*value));
    }
  }
  return registry;
}

const RegistryKeyData* ParsedRegistry::FindKey(WStringView path) const {
  for (const auto& key : keys) {
    if (SameName(key.path, path)) return &key;
  }
  return nullptr;
}

bool ParsedRegistry::HasKey(WStringView path) const {
  return std::any_of(keys.begin(), keys.end(), [&](const RegistryKeyData& key) {
    const WStringView candidate(key.path);
    return SameName(candidate, path) || (candidate.size() > path.size() && candidate[path.size()] == _T('\\') &&
                                         SameName(candidate.substr(0, path.size()), path));
  });
}

const RegistryValue* FindValue(const RegistryKeyData& key, WStringView name) {
  for (const auto& value : key.values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

std::optional<ParsedRegistry> ReadTerminalRegistry(bool* unreadable) {
  const HostFile file = ReadWholeHostFile(TerminalRoot() / kRegistryFileName, kMaxRegistryFileBytes);
  if (file.status == HostFile::Status::kTooLarge) {
    NKDbgPrintfW(_T("%s: over 1 MiB, not read\r\n"), kRegistryFileName);
  }
  if (unreadable) *unreadable = file.status == HostFile::Status::kUnreadable || file.status == HostFile::Status::kTooLarge;
  if (file.status != HostFile::Status::kRead) return std::nullopt;
  ParsedRegistry registry = ParseRegistry(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
  for (int line : registry.skippedLines) {
    NKDbgPrintfW(_T("%s(%d): line skipped, cannot be parsed\r\n"), kRegistryFileName, line);
  }
  return registry;
}

}  // namespace platform
