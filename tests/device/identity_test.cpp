#include "device/identity.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/temp_terminal.h"

namespace {

using namespace bramble::test;
using namespace std::literals;

std::string Trace(platform::WStringView model) {
  return "---------------->>>>>[CBrambleDlg::CheckLimitedFunction()] - " + platform::ToUtf8(model) + " \r\n";
}

StoredValue Model(std::uint32_t type, std::vector<std::byte> bytes) { return {"ModelName", type, std::move(bytes)}; }

// Where the value cannot be read, the model keeps its text; the debug line shows
// the model before the read and, once one was read, after it. That no key stays
// open, whatever the read found, fuzz/fuzz_registry.cpp holds.
TEST(ModelName, StoredBytesDecideWhereTheTextEndsAndAnUnreadableValueKeepsTheText) {
  platform::WString chars128;
  while (chars128.size() < 128) chars128 += _T("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  chars128.resize(128);
  struct Case {
    std::optional<StoredValue> value;
    std::optional<platform::WString> read;  // none: nothing could be read
    std::string key = "Platform\\OS";
  };
  const Case cases[] = {
      {Model(1, WideBytes({_T("QX210"), 6})), _T("QX210")},            // text with its null
      {Model(3, WideBytes(_T("QX210"))), _T("QX210")},                 // 10 bytes, no null
      {Model(3, WideBytes(chars128)), chars128.substr(0, 127)},        // exactly 256 bytes
      {Model(4, Bytes("Q\0X\0"sv)), _T("QX")},                         // another type, read as text
      {Model(4, Bytes("Q\0\0\0"sv)), _T("Q")},                         // cut at its first null
      {Model(3, Bytes("Q\0X\0" "2"sv)), _T("QX")},                     // an odd byte count
      {Model(3, WideBytes(platform::WString(129, _T('M')))), {}},      // more than 256 bytes
      {StoredValue{"Build", 4, Bytes("\1\0\0\0"sv)}, {}},              // no value
      {Model(1, WideBytes({_T("QX210"), 6})), {}, "Platform\\Display"}, // no key
      {std::nullopt, {}},                                              // no registry
  };
  TempTerminal terminal;
  for (const auto& [value, read, key] : cases) {
    SCOPED_TRACE(platform::ToUtf8(read.value_or(_T("nothing"))) + " from " + key);
    WriteRegistry(terminal, value, key);
    CString model(_T("KEPT"));
    device::CheckLimitedFunction(model);
    EXPECT_EQ(model.str(), read.value_or(_T("KEPT")));
    EXPECT_EQ(terminal.TakeDebugOutput(), Trace(_T("KEPT")) + (read ? Trace(*read) : ""));
  }
}

TEST(SystemInfo, FirstLineBecomesTheVersionAndOnlyAMissingFileGetsTheBox) {
  const std::pair<std::optional<std::string>, platform::WString> cases[] = {
      {"V1.02\r\nBuild 7\r\nV9.99\r\n", _T("V1.02")},
      {"\xB9\xF6\xC0\xFC 2.1\r\n", _T("버전 2.1")},  // code page 949
      {"V1.02 \t\r\r\n", _T("V1.02 \t\r")},        // only line feeds are trimmed
      {std::string(90, '1') + std::string(60, '2') + "\n", platform::WString(90, _T('1')) + platform::WString(9, _T('2'))},
      {"", _T("-")},
      {std::nullopt, _T("-")},
  };
  TempTerminal terminal;
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file.value_or("no file"));
    std::filesystem::remove(terminal / "ResidentFlash/System/info.txt");
    if (file) terminal.WriteText("ResidentFlash/System/info.txt", *file);
    std::vector<CString> boxes;
    platform::CurrentHost().messageBox = [&boxes](const CString& text, UINT) { boxes.push_back(text); return IDOK; };
    CString version{_T("stale")};
    CWnd versionBox;  // shown in the dialog's tests
    device::ReadSystemInfo(version, versionBox);
    platform::CurrentHost().messageBox = {};
    EXPECT_EQ(version.str(), expected);
    EXPECT_EQ(boxes, file ? std::vector<CString>{} : std::vector<CString>{_T("system info file not found")});
  }
}

}  // namespace
