#include "device/identity.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/debug.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "tests/support/temp_terminal.h"

namespace {

std::u16string Trace(std::u16string_view model) {
  return u"---------------->>>>>[CBrambleDlg::CheckLimitedFunction()] - " + std::u16string(model) + u" \r\n";
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

class ModelName : public ::testing::Test {
 protected:
  // Writes the key with the values given; an empty text removes the registry file.
  void WriteRegistry(std::string_view osValues, std::string_view section = "Platform\\OS") const {
    std::filesystem::remove(terminal / "registry.reg");
    if (!osValues.empty())
      terminal.WriteText("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + std::string(section) + "]\r\n" +
                                             std::string(osValues) + "\r\n");
  }
  bramble::test::TempTerminal terminal;
  platform::ScopedDebugCapture debug;
};

TEST_F(ModelName, StringWithNullGivesTheTextAndTwoDebugLines) {
  WriteRegistry("\"ModelName\"=\"QX210\"");
  platform::ScopedRegistryKeyCounter keys;
  CString model;
  device::CheckLimitedFunction(model);
  EXPECT_EQ(model, u"QX210");
  EXPECT_EQ(debug.text(), Trace(u"") + Trace(u"QX210"));
  EXPECT_EQ(keys.opened(), 1);
  EXPECT_EQ(keys.closed(), 1);
}

TEST_F(ModelName, StoredBytesDecideWhereTheTextEnds) {
  std::u16string chars128;
  while (chars128.size() < 128) chars128 += u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  chars128.resize(128);
  const std::pair<std::string, std::u16string> cases[] = {
      {HexModelName(u"QX210"), u"QX210"},                       // 10 bytes, no null
      {HexModelName(chars128), chars128.substr(0, 127)},        // exactly 256 bytes
      {"\"ModelName\"=dword:00580051", u"QX"},                  // another type, read as text
      {"\"ModelName\"=dword:00000051", u"Q"},                   // cut at its first null
      {"\"ModelName\"=hex:51,00,58,00,32", u"QX"},              // an odd byte count
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    WriteRegistry(value);
    CString model;
    device::CheckLimitedFunction(model);
    EXPECT_EQ(model.str(), expected);
  }
}

TEST_F(ModelName, UnreadableValueKeepsTheTextAndClosesOnlyAnOpenedKey) {
  const std::tuple<std::string, std::string, int> cases[] = {
      {HexModelName(std::u16string(129, u'M')), "Platform\\OS", 1},  // more than 256 bytes
      {"\"Build\"=dword:00000001", "Platform\\OS", 1},               // no value
      {"\"ModelName\"=\"QX210\"", "Platform\\Display", 0},           // no key
      {"", "", 0},                                                   // no file
  };
  for (const auto& [values, section, opened] : cases) {
    SCOPED_TRACE(values + section);
    WriteRegistry(values, section);
    platform::ScopedRegistryKeyCounter keys;
    platform::ScopedDebugCapture capture;
    CString model(u"KEPT");
    device::CheckLimitedFunction(model);
    EXPECT_EQ(model, u"KEPT");
    EXPECT_EQ(capture.text(), Trace(u"KEPT"));
    EXPECT_EQ(keys.opened(), opened);
    EXPECT_EQ(keys.closed(), opened);
    EXPECT_EQ(keys.rejectedCloses(), 0);
  }
}

class SystemInfo : public ::testing::Test {
 protected:
  bramble::test::TempTerminal terminal;
  platform::ScopedMessageBoxRecorder boxes;
  CString version{u"stale"};
  CWnd box;
};

TEST_F(SystemInfo, FirstLineBecomesTheVersionAndIsShown) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"V1.02\r\nBuild 7\r\nV9.99\r\n", u"V1.02"},
      {"\xB9\xF6\xC0\xFC 2.1\r\n", u"버전 2.1"},  // code page 949
      {"V1.02 \t\r\r\n", u"V1.02 \t\r"},        // only line feeds are trimmed
      {std::string(90, '1') + std::string(60, '2') + "\n", std::u16string(90, u'1') + std::u16string(9, u'2')},
  };
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file);
    terminal.WriteText("ResidentFlash/System/info.txt", file);
    device::ReadSystemInfo(version, box);
    EXPECT_EQ(version.str(), expected);
    EXPECT_EQ(box.GetWindowText().str(), expected);
  }
  EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SystemInfo, EmptyOrMissingFileLeavesHyphenAndOnlyMissingShowsTheMessage) {
  terminal.WriteText("ResidentFlash/System/info.txt", "");
  device::ReadSystemInfo(version, box);
  EXPECT_EQ(version, u"-");
  EXPECT_TRUE(boxes.texts().empty());

  std::filesystem::remove(terminal / "ResidentFlash/System/info.txt");
  version = u"stale";
  device::ReadSystemInfo(version, box);
  EXPECT_EQ(version, u"-");
  EXPECT_EQ(boxes.texts(), std::vector<CString>{u"system info file not found"});
  EXPECT_TRUE(box.GetWindowText().IsEmpty());
}

}  // namespace
