// The system information file from outside bytes: its first line becomes the
// version the dialog shows, read in text mode and converted from code page 949.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "device/identity.h"
#include "fuzz/fuzz_support.h"
#include "platform/framework/afxwin.h"

namespace {

using bramble::fuzz::Require;

// The line buffer holds 99 bytes and its null; no byte becomes more than one unit.
constexpr int kLongestVersion = 99;

std::filesystem::path g_infoFile;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_infoFile = bramble::fuzz::MakeTerminal("system-info") / "ResidentFlash" / "System" / "info.txt";
  platform::CurrentHost().messageBox = [](const CString&, UINT) { return IDOK; };
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view ansi(reinterpret_cast<const char*>(data), size);
  const CString wide = CString::FromAnsi(ansi);
  Require(static_cast<std::size_t>(wide.GetLength()) <= ansi.size(), "conversion made more characters than bytes");
  // Back to the code page must not fail either; what cannot be held becomes '?'.
  wide.ToAnsi();

  bramble::fuzz::WriteHostFile(g_infoFile, bramble::fuzz::AsBytes(data, size));
  CString version;
  CWnd versionBox;  // no window: what it shows is the dialog's tests' concern
  device::ReadSystemInfo(version, versionBox);
  Require(version.GetLength() <= kLongestVersion, "version longer than the line buffer");
  return 0;
}
