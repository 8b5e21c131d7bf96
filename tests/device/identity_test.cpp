#include "device/identity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "platform/sim/registry.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;

std::string Trace(std::u16string_view model) {
  return "---------------->>>>>[CBrambleDlg::CheckLimitedFunction()] - " + platform::ToUtf8(model) + " \r\n";
}

// "ModelName"=hex:... holding the text's UTF-16LE bytes without a null.
std::string HexModelName(std::u16string_view text) {
  std::string line = "\"ModelName\"=hex:";
  char pair[8];
  for (char16_t unit : text) {
    std::snprintf(pair, sizeof pair, "%02x,%02x,", unit & 0xFF, unit >> 8);
    line += pair;
  }
  line.pop_back();
  return line;
}

// The registry with `values` under the key; no values, no registry file.
void WriteRegistry(const TempTerminal& terminal, std::string_view values, std::string_view key = "Platform\\OS") {
  std::filesystem::remove(terminal / "registry.reg");
  if (!values.empty()) {
    terminal.WriteText("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + std::string(key) + "]\r\n" +
                                           std::string(values) + "\r\n");
  }
}

TEST(ModelName, StoredBytesDecideWhereTheTextEndsAndBothDebugLinesShowIt) {
  std::u16string chars128;
  while (chars128.size() < 128) chars128 += u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  chars128.resize(128);
  const std::pair<std::string, std::u16string> cases[] = {
      {"\"ModelName\"=\"QX210\"", u"QX210"},                // a string with its null
      {HexModelName(u"QX210"), u"QX210"},                   // 10 bytes, no null
      {HexModelName(chars128), chars128.substr(0, 127)},    // exactly 256 bytes
      {"\"ModelName\"=dword:00580051", u"QX"},              // another type, read as text
      {"\"ModelName\"=dword:00000051", u"Q"},               // cut at its first null
      {"\"ModelName\"=hex:51,00,58,00,32", u"QX"},          // an odd byte count
  };
  TempTerminal terminal;
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    WriteRegistry(terminal, value);
    CString model;
    device::CheckLimitedFunction(model);
    EXPECT_EQ(model.str(), expected);
    EXPECT_EQ(terminal.TakeDebugOutput(), Trace(u"") + Trace(expected));
    EXPECT_EQ(platform::OpenRegistryKeyCount(), 0);
  }
}

TEST(ModelName, UnreadableValueKeepsTheTextAndLeavesNoKeyOpen) {
  const std::pair<std::string, std::string> cases[] = {
      {HexModelName(std::u16string(129, u'M')), "Platform\\OS"},  // more than 256 bytes
      {"\"Build\"=dword:00000001", "Platform\\OS"},               // no value
      {"\"ModelName\"=\"QX210\"", "Platform\\Display"},           // no key
      {"", ""},                                                   // no file
  };
  TempTerminal terminal;
  for (const auto& [values, key] : cases) {
    SCOPED_TRACE(values + key);
    WriteRegistry(terminal, values, key);
    CString model(u"KEPT");
    device::CheckLimitedFunction(model);
    EXPECT_EQ(model, u"KEPT");
    EXPECT_EQ(terminal.TakeDebugOutput(), Trace(u"KEPT"));
    EXPECT_EQ(platform::OpenRegistryKeyCount(), 0);
  }
}

TEST(SystemInfo, FirstLineBecomesTheVersionAndOnlyAMissingFileGetsTheBox) {
  const std::pair<std::optional<std::string>, std::u16string> cases[] = {
      {"V1.02\r\nBuild 7\r\nV9.99\r\n", u"V1.02"},
      {"\xB9\xF6\xC0\xFC 2.1\r\n", u"버전 2.1"},  // code page 949
      {"V1.02 \t\r\r\n", u"V1.02 \t\r"},        // only line feeds are trimmed
      {std::string(90, '1') + std::string(60, '2') + "\n", std::u16string(90, u'1') + std::u16string(9, u'2')},
      {"", u"-"},
      {std::nullopt, u"-"},
  };
  TempTerminal terminal;
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file.value_or("no file"));
    std::filesystem::remove(terminal / "ResidentFlash/System/info.txt");
    if (file) terminal.WriteText("ResidentFlash/System/info.txt", *file);
    std::vector<CString> boxes;
    platform::SetMessageBoxPresenter([&](const CString& text, UINT) {
      boxes.push_back(text);
      return IDOK;
    });
    CString version{u"stale"};
    CWnd versionBox;  // shown in the dialog's tests
    device::ReadSystemInfo(version, versionBox);
    platform::SetMessageBoxPresenter({});
    EXPECT_EQ(version.str(), expected);
    EXPECT_EQ(boxes, file ? std::vector<CString>{} : std::vector<CString>{u"system info file not found"});
  }
}

}  // namespace
