// The logo bitmap as the user puts it on the card: the converter, the pre-check
// and the startup image writer each read it from the file, and the header reader
// they share reads it in memory.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "fuzz/fuzz_support.h"
#include "logo/converter.h"
#include "logo/image_format.h"
#include "logo/precheck.h"

namespace {

namespace fs = std::filesystem;
using bramble::fuzz::Require;

constexpr const WCHAR* kCardBmp = _T("\\SDMMC DISK\\logo.bmp");

fs::path g_card;
fs::path g_system;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The converter's diagnostic lines would bury the fuzzer's own on standard error.
  if (!std::freopen("/dev/null", "w", stdout)) bramble::fuzz::Fail("cannot silence standard output");
  g_card = bramble::fuzz::MakeTerminal("logo") / "SDMMC DISK";
  g_system = g_card.parent_path() / "ResidentFlash" / "System";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bytes = bramble::fuzz::AsBytes(data, size);
  const auto header = logo::ReadBitmapHeader(bytes);
  Require(header.has_value() == (size >= logo::kBitmapHeaderBytes), "header read from too few bytes, or refused");
  const bool logoGeometry = header && logo::HasLogoGeometry(*header);
  // Pixel data cut short of a whole 800 x 480 x 24 picture.
  const bool whole = header && header->pixelDataOffset <= size && size - header->pixelDataOffset >= 1'152'000;

  bramble::fuzz::WriteHostFile(g_card / "logo.bmp", bytes);
  bramble::fuzz::WriteHostFile(g_system / "logo.bmp", bytes);
  // Outputs of an earlier input must not pass for this one's.
  std::error_code ignored;
  for (const auto& stale : {g_card / "logo.bin", g_card / "startup.raw", g_system / "logo.bin"}) fs::remove(stale, ignored);

  const auto kWritten = static_cast<int>(logo::ConvertResult::kWritten);
  // The user's logo is refused when its pixel data is cut short; the default
  // logo in resident flash reads what is missing as black.
  const bool written = logo::ConvertBitmapToLogo(1, kCardBmp) == kWritten;
  Require(written == (logoGeometry && header->signature && whole), "conversion result disagrees with the header");
  const bool defaultWritten = logo::ConvertBitmapToLogo(0, kCardBmp) == kWritten;
  Require(defaultWritten == (logoGeometry && header->signature), "default logo's result disagrees with the header");
  // Either a whole logo.bin or none: a cut file would be programmed as a logo.
  for (const auto& [bin, made] : {std::pair{g_card / "logo.bin", written}, std::pair{g_system / "logo.bin", defaultWritten}})
    Require(made ? fs::file_size(bin, ignored) == logo::kLogoFileBytes : !fs::exists(bin),
            "logo.bin left partial or written for a refused source");

  const bool passed = logo::LoadAndCheckBitmap(kCardBmp);
  const auto& kept = logo::KeptBitmapState();
  Require(passed == (logoGeometry && whole) && kept.loaded && kept.passed == passed,
          "pre-check disagrees with the header or the file's length");
  Require(kept.size == size && kept.pixelDataOffset <= kept.size, "kept bitmap does not match the file");

  const bool startup = logo::WriteStartupImage(0);
  Require(startup == passed, "startup image written without a passing pre-check, or not written after one");
  Require(startup ? fs::file_size(g_card / "startup.raw", ignored) == logo::kStartupFileBytes
                  : !fs::exists(g_card / "startup.raw"),
          "startup.raw left partial or written without a passing pre-check");
  return 0;
}
