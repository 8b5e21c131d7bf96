#include "logo/precheck.h"

#include <algorithm>
#include <array>

#include "logo/image_format.h"

namespace logo {
namespace {

KeptBitmap g_kept;

platform::UniqueHandle CreateStartupImage() {
  return platform::UniqueHandle(::CreateFileW(platform::kSdStartupRaw, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Fills `kept` from the opened file. Without a size or a buffer, or for a file too
// large, it stays empty; a file too short for a header is kept without header fields.
bool LoadInto(KeptBitmap& kept, HANDLE file) {
  DWORD high = 0;
  const DWORD size = ::GetFileSize(file, &high);
  if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxLogoBitmapFileBytes) return false;
  kept.buffer = TryAllocateBytes(size);
  if (!kept.buffer) return false;
  DWORD read = 0;
  ::ReadFile(file, kept.buffer.get(), size, &read, nullptr);
  kept.size = read;

  const auto header = ReadBitmapHeader(kept.File());
  if (!header) {
    kept.pixelDataOffset = kept.size;
    return false;
  }
  kept.pixelDataOffset = std::min<std::size_t>(header->pixelDataOffset, kept.size);
  kept.width = header->width;
  kept.height = header->height;
  // A copy to the card that was cut short would become a logo with black rows.
  kept.passed = HasLogoGeometry(*header) && kept.PixelData().size() >= kSourcePixelDataBytes;
  return kept.passed;
}

bool TruncateStartupImage() { return static_cast<bool>(CreateStartupImage()); }

bool ConvertStartupImage() {
  // Only a passing pre-check promises the 800 x 480 x 24 layout the rows assume.
  if (!g_kept.passed) return false;
  platform::UniqueHandle file = CreateStartupImage();
  if (!file) return false;
  std::array<std::byte, kStartupRowBytes> row;
  bool written = true;
  for (std::size_t y = 0; written && y < static_cast<std::size_t>(kLogoHeight); ++y) {
    StartupRowFromPixels(g_kept.PixelData(), y, row);
    DWORD count = 0;
    written = ::WriteFile(file.get(), row.data(), static_cast<DWORD>(row.size()), &count, nullptr) && count == row.size();
  }
  file.reset();
  // A cut startup image would be shown at boot as garbage; no file is better.
  if (!written) ::DeleteFileW(platform::kSdStartupRaw);
  return written;
}

}  // namespace

bool LoadAndCheckBitmap(const CString& path) {
  const platform::UniqueHandle file(
      ::CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Release the old buffer before the new one is allocated: one at a time.
  g_kept = KeptBitmap{};
  g_kept.loaded = true;
  return LoadInto(g_kept, file.get());
}

bool WriteStartupImage(int mode) { return mode != 0 ? TruncateStartupImage() : ConvertStartupImage(); }

const KeptBitmap& KeptBitmapState() { return g_kept; }

}  // namespace logo
