#include "logo/precheck.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "logo/image_format.h"
#include "platform/files.h"
#include "platform/terminal.h"

namespace logo {
namespace {

KeptBitmap g_kept;

// The real size of the open file: the size a header claims is never trusted.
std::optional<std::size_t> FileSize(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return std::nullopt;
  const long size = std::ftell(file);
  if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) return std::nullopt;
  return static_cast<std::size_t>(size);
}

// Fills `kept` from the opened file. Without a size or a buffer it stays empty;
// a file too short for a header is kept without header fields.
bool LoadInto(KeptBitmap& kept, std::FILE* file) {
  const auto size = FileSize(file);
  if (!size) return false;
  kept.buffer = TryAllocateBytes(*size);
  if (!kept.buffer) return false;
  kept.size = std::fread(kept.buffer.get(), 1, *size, file);

  const auto header = ReadBitmapHeader(kept.File());
  if (!header) {
    kept.pixelDataOffset = kept.size;
    return false;
  }
  kept.pixelDataOffset = std::min<std::size_t>(header->pixelDataOffset, kept.size);
  kept.width = header->width;
  kept.height = header->height;
  kept.passed = HasLogoGeometry(*header);
  return kept.passed;
}

bool TruncateStartupImage() {
  auto file = platform::OpenTerminalFileW(platform::kSdStartupRaw, "wb");
  return file && platform::CloseChecked(std::move(file));
}

bool ConvertStartupImage() {
  // Only a passing pre-check promises the 800 x 480 x 24 layout the rows assume.
  if (!g_kept.passed) return false;
  auto file = platform::OpenTerminalFileW(platform::kSdStartupRaw, "wb");
  if (!file) return false;
  std::array<std::byte, kStartupRowBytes> row;
  bool written = true;
  for (std::size_t y = 0; written && y < static_cast<std::size_t>(kLogoHeight); ++y) {
    StartupRowFromPixels(g_kept.PixelData(), y, row);
    written = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
  }
  written = platform::CloseChecked(std::move(file)) && written;
  // A cut startup image would be shown at boot as garbage; no file is better.
  if (!written) DeleteFileW(std::u16string(platform::kSdStartupRaw).c_str());
  return written;
}

}  // namespace

bool LoadAndCheckBitmap(const CString& path) {
  auto file = platform::OpenTerminalFileW(path.str(), "rb");
  if (!file) return false;
  // Release the old buffer before the new one is allocated: one at a time.
  g_kept = KeptBitmap{};
  g_kept.loaded = true;
  return LoadInto(g_kept, file.get());
}

bool WriteStartupImage(int mode) { return mode != 0 ? TruncateStartupImage() : ConvertStartupImage(); }

const KeptBitmap& KeptBitmapState() { return g_kept; }

}  // namespace logo
