// RegOpenKeyExW, RegQueryValueExW and RegCloseKey over the terminal folder's
// registry.reg: every open reads the file anew, and an opened key keeps a copy of
// its values.

#include "platform/posix/registry.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/sim/registry.h"

// A key handle is an opened key of this registry, or a predefined root.
struct HKEY__ {};

namespace platform {
namespace {

constexpr WStringView kLocalMachine = _T("HKEY_LOCAL_MACHINE");

struct OpenKey : HKEY__ {
  RegistryKeyData key;
};

std::vector<std::unique_ptr<OpenKey>>& OpenKeys() {
  static std::vector<std::unique_ptr<OpenKey>> keys;
  return keys;
}

OpenKey* FindOpenKey(HKEY key) {
  for (auto& open : OpenKeys()) {
    if (open.get() == key) return open.get();
  }
  return nullptr;
}

WStringView WithoutOuterBackslashes(WStringView path) {
  while (!path.empty() && path.front() == _T('\\')) path.remove_prefix(1);
  while (!path.empty() && path.back() == _T('\\')) path.remove_suffix(1);
  return path;
}

}  // namespace

int OpenRegistryKeyCount() { return static_cast<int>(OpenKeys().size()); }

}  // namespace platform

LSTATUS RegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD /*options*/, REGSAM /*desired*/, HKEY* result) {
  using namespace platform;
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  WString path;
  if (root == HKEY_LOCAL_MACHINE) {
    path = kLocalMachine;
  } else if (const OpenKey* parent = FindOpenKey(root)) {
    path = parent->key.path;
  } else {
    return ERROR_INVALID_HANDLE;
  }
  if (const auto sub = WithoutOuterBackslashes(subKey ? subKey : _T("")); !sub.empty()) {
    path += _T('\\');
    path += sub;
  }

  bool unreadable = false;
  const std::optional<ParsedRegistry> registry = ReadTerminalRegistry(&unreadable);
  if (unreadable) return ERROR_REGISTRY_IO_FAILED;
  if (!registry || !registry->HasKey(path)) return ERROR_FILE_NOT_FOUND;

  auto opened = std::make_unique<OpenKey>();
  const RegistryKeyData* data = registry->FindKey(path);
  opened->key = data ? *data : RegistryKeyData{std::move(path), {}};
  *result = opened.get();
  OpenKeys().push_back(std::move(opened));
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  using namespace platform;
  if (key == HKEY_LOCAL_MACHINE) {
    HKEY opened = nullptr;
    if (const LONG status = RegOpenKeyExW(key, nullptr, 0, 0, &opened); status != ERROR_SUCCESS) return status;
    const LSTATUS result = RegQueryValueExW(opened, valueName, reserved, type, data, dataSize);
    RegCloseKey(opened);
    return result;
  }
  const OpenKey* open = FindOpenKey(key);
  if (!open) return ERROR_INVALID_HANDLE;
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  const RegistryValue* found = FindValue(open->key, valueName ? valueName : _T(""));
  if (!found) return ERROR_FILE_NOT_FOUND;
  if (type) *type = found->type;
  const auto size = static_cast<DWORD>(found->data.size());
  if (data) {
    if (*dataSize < size) {
      *dataSize = size;
      return ERROR_MORE_DATA;
    }
    std::copy(found->data.begin(), found->data.end(), data);  // an empty value has no bytes to copy
  }
  if (dataSize) *dataSize = size;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  using namespace platform;
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;  // a predefined key stays open
  const bool wasOpen = std::erase_if(OpenKeys(), [key](const auto& open) { return open.get() == key; }) != 0;
  return wasOpen ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
