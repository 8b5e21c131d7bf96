// Inputs the fuzzer found that once broke the registry reader.

#include <gtest/gtest.h>

#include "platform/api/windows_api.h"
#include "tests/support/temp_terminal.h"

namespace {

using namespace std::string_view_literals;

// An empty hex value: querying it once copied from a null pointer.
constexpr std::string_view kEmptyValueFile =
    "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\n\"ModelName\"=hex(1):\n"
    "[HKEY_CURRENT_USER\\Broken\\\\Path]\n\"Orphan\"=\"x\"\n"
    "[N\x01\x00\x00\x00\x00\x00\x00\x00otARoot]\nstray line\n\"Bad\"=dword:123456789\n"sv;

TEST(RegistryFuzzRegression, AnEmptyValueIsReadAsNoBytes) {
  bramble::test::TempTerminal terminal;
  terminal.WriteText("registry.reg", kEmptyValueFile);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, _T("\\Platform\\OS"), 0, 0, &key), ERROR_SUCCESS);
  BYTE buffer[8] = {0x55};
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  EXPECT_EQ(RegQueryValueExW(key, _T("ModelName"), nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(buffer[0], 0x55);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
