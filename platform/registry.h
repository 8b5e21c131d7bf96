#pragma once
// The terminal's registry. On the host it is the text file DIR/registry.reg in the
// platform's export format, read anew at every RegOpenKeyExW, so a test or a user
// can change it between runs without anything cached going stale.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Platform\OS]
//   "ModelName"="QX210"
//   "Build"=dword:0000002a
//   "Raw"=hex:51,00,58,00,32,00
//   "Typed"=hex(7):41,00,00,00

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

using BYTE = std::uint8_t;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// An opaque key handle, as the platform declares it.
struct HKEY__ {};
using HKEY = HKEY__*;

namespace platform {
inline HKEY__ g_localMachineRoot;
}
inline const HKEY HKEY_LOCAL_MACHINE = &platform::g_localMachineRoot;

// subKey is relative to root; a leading backslash ("\Platform\OS") is allowed, as the
// terminal allows it. options and samDesired are accepted and not examined.
LONG RegOpenKeyExW(HKEY root, const char16_t* subKey, DWORD options, DWORD samDesired, HKEY* result);
// valueName null or empty names the key's default value (@). With data null only the
// size is reported; a buffer smaller than the value gives ERROR_MORE_DATA, the needed
// size in *dataSize and nothing copied.
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegCloseKey(HKEY key);

namespace platform {

struct RegKeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
// Owns an opened key and closes it exactly once.
using UniqueRegKey = std::unique_ptr<HKEY__, RegKeyCloser>;

struct RegistryValue {
  std::u16string name;  // empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegistryKeyData {
  std::u16string path;  // as in the section header: "HKEY_LOCAL_MACHINE\Platform\OS"
  std::vector<RegistryValue> values;
};

struct ParsedRegistry {
  std::vector<RegistryKeyData> keys;
  // 1-based numbers of the lines that could not be parsed and were skipped.
  std::vector<int> skippedLines;

  // Key paths and value names compare case-insensitively (ASCII letters).
  const RegistryKeyData* FindKey(std::u16string_view path) const;
  // True also for a key that only exists as the parent of a section.
  bool HasKey(std::u16string_view path) const;
};

// The whole text of a registry file, UTF-8 or UTF-16LE with its byte-order mark.
// Never fails: what cannot be parsed is listed in skippedLines.
ParsedRegistry ParseRegistry(std::string_view text);

const RegistryValue* FindValue(const RegistryKeyData& key, std::u16string_view name);

// Keys opened and not yet closed.
int OpenRegistryKeyCount();

// Counts key opens and closes while it lives, so tests can tell that every key
// opened was closed exactly once.
class ScopedRegistryKeyCounter {
 public:
  ScopedRegistryKeyCounter();
  ~ScopedRegistryKeyCounter();
  ScopedRegistryKeyCounter(const ScopedRegistryKeyCounter&) = delete;
  ScopedRegistryKeyCounter& operator=(const ScopedRegistryKeyCounter&) = delete;

  int opened() const { return m_opened; }
  int closed() const { return m_closed; }
  // RegCloseKey calls on handles that were not open (closed twice, never opened).
  int rejectedCloses() const { return m_rejectedCloses; }

 private:
  friend struct RegistryKeyCounting;
  int m_opened = 0;
  int m_closed = 0;
  int m_rejectedCloses = 0;
  ScopedRegistryKeyCounter* m_previous;
};

}  // namespace platform
