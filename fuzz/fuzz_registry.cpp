// The terminal's registry file from outside bytes: the parser in memory, then the
// file as the device code meets it, through RegOpenKeyExW and RegQueryValueExW.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "device/identity.h"
#include "fuzz/fuzz_support.h"
#include "platform/posix/registry.h"
#include "platform/sim/registry.h"

namespace {

using bramble::fuzz::Require;

constexpr platform::WStringView kModelKeyPath = u"HKEY_LOCAL_MACHINE\\Platform\\OS";
constexpr const char16_t* kModelKey = u"\\Platform\\OS";
constexpr const char16_t* kModelValue = u"ModelName";

std::filesystem::path g_registryFile;

void CheckParsed(const platform::ParsedRegistry& registry) {
  for (int previous = 0; const int line : registry.skippedLines)
    Require(line > std::exchange(previous, line), "skipped lines not in file order");
  for (const auto& key : registry.keys) {
    // Sections written twice are one key, and a value written twice is one value.
    Require(!key.path.empty() && registry.FindKey(key.path) == &key, "a key appears twice");
    for (const auto& value : key.values) Require(platform::FindValue(key, value.name) == &value, "a value appears twice");
  }
}

// The size query, a buffer one byte short and the exact buffer must agree with
// each other and with what the parser found.
void CheckModelValue(const platform::ParsedRegistry& registry) {
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kModelKey, 0, 0, &opened);
  Require((status == ERROR_SUCCESS) == registry.HasKey(kModelKeyPath), "key found by one reader only");
  if (status != ERROR_SUCCESS) return;
  const std::unique_ptr<HKEY__, decltype(&RegCloseKey)> key(opened, &RegCloseKey);

  const platform::RegistryKeyData* parsedKey = registry.FindKey(kModelKeyPath);
  const platform::RegistryValue* parsed = parsedKey ? platform::FindValue(*parsedKey, kModelValue) : nullptr;
  DWORD type = REG_NONE, size = 0;
  const LONG sized = RegQueryValueExW(key.get(), kModelValue, nullptr, &type, nullptr, &size);
  Require((sized == ERROR_SUCCESS) == (parsed != nullptr), "value found by one reader only");
  if (!parsed) return;
  Require(type == parsed->type && size == parsed->data.size(), "value type or size differs");

  std::vector<BYTE> data(size + 1, BYTE{0xA5});
  if (size > 0) {
    DWORD shortSize = size - 1;
    Require(RegQueryValueExW(key.get(), kModelValue, nullptr, nullptr, data.data(), &shortSize) == ERROR_MORE_DATA &&
                shortSize == size && data[0] == BYTE{0xA5},
            "a short buffer was written to or not refused");
  }
  DWORD fullSize = size;
  Require(RegQueryValueExW(key.get(), kModelValue, nullptr, nullptr, data.data(), &fullSize) == ERROR_SUCCESS &&
              fullSize == size && std::equal(parsed->data.begin(), parsed->data.end(), data.begin()) && data[size] == BYTE{0xA5},
          "value bytes differ or ran past their size");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_registryFile = bramble::fuzz::MakeTerminal("registry") / "registry.reg";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::ParsedRegistry registry = platform::ParseRegistry(text);
  CheckParsed(registry);

  bramble::fuzz::WriteHostFile(g_registryFile, bramble::fuzz::AsBytes(data, size));
  CheckModelValue(registry);
  CString modelName = u"unchanged";
  device::CheckLimitedFunction(modelName);
  Require(platform::OpenRegistryKeyCount() == 0, "a registry key was left open");
  return 0;
}
