#pragma once
// The terminal's registry on a host without one: the text file DIR/registry.reg
// in the platform's export format. The host's registry calls read it anew at every
// open (platform/posix/registry.cpp), so a test or a user can change it between
// runs without anything cached going stale.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Platform\OS]
//   "ModelName"="QX210"
//   "Build"=dword:0000002a
//   "Raw"=hex:51,00,58,00,32,00
//   "Typed"=hex(7):41,00,00,00

#include <optional>
#include <string_view>
#include <vector>

#include "platform/text/wide_text.h"

namespace platform {

struct RegistryValue {
  WString name;  // empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegistryKeyData {
  WString path;  // as in the section header: "HKEY_LOCAL_MACHINE\Platform\OS"
  std::vector<RegistryValue> values;
};

struct ParsedRegistry {
  std::vector<RegistryKeyData> keys;
  // 1-based numbers of the lines that could not be parsed and were skipped.
  std::vector<int> skippedLines;

  // Key paths and value names compare case-insensitively (ASCII letters).
  const RegistryKeyData* FindKey(WStringView path) const;
  // True also for a key that only exists as the parent of a section.
  bool HasKey(WStringView path) const;
};

// The whole text of a registry file, UTF-8 or UTF-16LE with its byte-order mark.
// Never fails: what cannot be parsed is listed in skippedLines.
ParsedRegistry ParseRegistry(std::string_view text);

const RegistryValue* FindValue(const RegistryKeyData& key, WStringView name);

// The terminal folder's registry.reg, parsed, with a debug line for each line
// skipped; nothing when there is no such file, and nothing with `unreadable` set
// when there is one that cannot be read (an I/O error, not a regular file, over
// 1 MiB): a registry that cannot be read is not an empty one.
std::optional<ParsedRegistry> ReadTerminalRegistry(bool* unreadable = nullptr);

}  // namespace platform
