#include "platform/sim/registry.h"

#include <gtest/gtest.h>

#include "platform/posix/registry.h"
#include "tests/support/temp_terminal.h"

namespace {

using Data = std::vector<BYTE>;
constexpr std::u16string_view kOs = u"HKEY_LOCAL_MACHINE\\Platform\\OS";
constexpr std::string_view kOsSection = "[HKEY_LOCAL_MACHINE\\Platform\\OS]\r\n";

// A value's bytes and type as the parser stored them, or {0xEE} and 0 when it has none.
std::pair<Data, DWORD> ValueOf(const platform::ParsedRegistry& registry, std::u16string_view name,
                               std::u16string_view key = kOs) {
  const auto* found = registry.FindKey(key);
  const auto* value = found ? platform::FindValue(*found, name) : nullptr;
  return value ? std::pair(value->data, value->type) : std::pair(Data{0xEE}, DWORD{0});
}

TEST(RegistryParser, ReadsEveryValueKindUnderEitherHeader) {
  const auto registry = platform::ParseRegistry(
      "REGEDIT4\n\n; by hand\n[HKEY_LOCAL_MACHINE\\Platform\\OS]\n"
      "\"ModelName\"=\"QX210\"\n"
      "\"Path\"=\"C:\\\\a \\\"b\\\"\"\n"
      "\"Korean\"=\"모델\"\n"
      "\"Build\"=dword:0000002a\n"
      "\"Raw\"=hex:51,00,58,00\n"
      "\"Typed\"=hex(b):01,02,\\\n    03,04\n"
      "@=\"\"\n"
      "[hkey_local_machine\\platform\\os]\n"
      "\"modelname\" = \"QX300\"\n");
  EXPECT_TRUE(registry.skippedLines.empty());
  const std::tuple<std::u16string_view, Data, DWORD> values[] = {
      {u"MODELNAME", {'Q', 0, 'X', 0, '3', 0, '0', 0, '0', 0, 0, 0}, REG_SZ},
      {u"Path", {'C', 0, ':', 0, '\\', 0, 'a', 0, ' ', 0, '"', 0, 'b', 0, '"', 0, 0, 0}, REG_SZ},
      {u"Korean", {0xA8, 0xBA, 0x78, 0xB3, 0, 0}, REG_SZ},
      {u"Build", {0x2A, 0, 0, 0}, REG_DWORD},
      {u"Raw", {0x51, 0, 0x58, 0}, REG_BINARY},
      {u"Typed", {1, 2, 3, 4}, 11},
      {u"", {0, 0}, REG_SZ},
  };
  for (const auto& [name, data, kind] : values)
    EXPECT_EQ(ValueOf(registry, name), std::pair(data, kind)) << platform::ToUtf8(name);

  // Either header, and the byte-order marks of UTF-8 and of UTF-16LE (the platform's editor).
  const std::string body = "\r\n" + std::string(kOsSection) + "\"ModelName\"=\"Q\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : "Windows Registry Editor Version 5.00" + body) utf16 += {c, '\0'};
  for (const std::string& file : {"Windows Registry Editor Version 5.00" + body, "\xEF\xBB\xBFREGEDIT4" + body, utf16})
    EXPECT_EQ(ValueOf(platform::ParseRegistry(file), u"ModelName"), std::pair(Data{'Q', 0, 0, 0}, DWORD{REG_SZ}));
}

TEST(RegistryParser, SkipsLinesThatCannotBeParsedAndReadsTheRest) {
  const auto registry = platform::ParseRegistry(
      "REGEDIT4\n"
      "\"Orphan\"=\"before any key\"\n"          // 2
      "[HKEY_LOCAL_MACHINE\\Platform\\OS]\n"
      "\"Escape\"=\"a\\nb\"\n"                   // 4: only \\ and \" are escapes
      "\"NoData\"\n"                             // 5
      "\"Long\"=dword:123456789\n"               // 6
      "\"Gap\"=hex:51,,00\n"                     // 7
      "\"Open\"=\"unterminated\n"                // 8
      "just words\n"                             // 9
      "\"ModelName\"=\"Q\"\n"
      "[HKEY_NOWHERE\\Platform]\n"               // 11
      "\"Lost\"=\"dropped with its key\"\n"
      "[HKEY_LOCAL_MACHINE\\Platform\\Other]\n"
      "\"Build\"=dword:7\n");
  EXPECT_EQ(registry.skippedLines, (std::vector<int>{2, 4, 5, 6, 7, 8, 9, 11}));
  EXPECT_EQ(ValueOf(registry, u"ModelName"), std::pair(Data{'Q', 0, 0, 0}, DWORD{REG_SZ}));
  EXPECT_EQ(registry.FindKey(kOs)->values.size(), 1u);
  EXPECT_EQ(ValueOf(registry, u"Build", u"HKEY_LOCAL_MACHINE\\Platform\\Other"), std::pair(Data{7, 0, 0, 0}, DWORD{REG_DWORD}));
  EXPECT_EQ(platform::ParseRegistry(kOsSection).skippedLines, std::vector<int>{1});  // no header
}

TEST(Registry, OpensKeysCaseInsensitivelyAndQueriesLikeThePlatform) {
  bramble::test::TempTerminal terminal;
  terminal.WriteText("registry.reg", "REGEDIT4\r\n" + std::string(kOsSection) +
                                         "\"ModelName\"=\"QX210\"\r\n\"Build\"=dword:xyz\r\n");
  HKEY parent = nullptr, key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\PLATFORM", 0, 0, &parent), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(parent, u"os", 0, 0, &key), ERROR_SUCCESS);
  EXPECT_EQ(terminal.TakeDebugOutput(), "registry.reg(4): line skipped, cannot be parsed\r\n"
                                        "registry.reg(4): line skipped, cannot be parsed\r\n");  // once per open

  // A buffer too short, or none, and an empty value: fuzz/fuzz_registry.cpp holds them to the parser.
  BYTE buffer[16] = {};
  DWORD type = 0, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key, u"modelname", nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::tuple(Data(buffer, buffer + size), type), std::tuple(Data{'Q', 0, 'X', 0, '2', 0, '1', 0, '0', 0, 0, 0}, REG_SZ));
  EXPECT_EQ(RegQueryValueExW(key, u"Build", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_INVALID_HANDLE);
  EXPECT_EQ(platform::OpenRegistryKeyCount(), 1);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
