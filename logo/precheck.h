#pragma once
// The pre-check that the Convert command runs before the timed conversion, the
// bitmap it keeps, and the startup image writer of the Reset logo command.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/framework/afxwin.h"

namespace logo {

// The largest logo.bmp the pre-check reads: a logo bitmap is 1,152,054 bytes, and
// a file many times that size is no logo, nor read into memory to find that out.
// The host tools refuse the same files.
inline constexpr DWORD kMaxLogoBitmapFileBytes = DWORD{64} << 20;

// The file that the last pre-check opened, kept for the whole process.
struct KeptBitmap {
  bool loaded = false;  // a pre-check has opened a file
  bool passed = false;  // ... and found it 800 x 480 x 24, with all its pixels
  std::unique_ptr<std::byte[]> buffer;
  std::size_t size = 0;             // bytes read into `buffer`
  std::size_t pixelDataOffset = 0;  // clamped to `size`, so it never leaves the buffer
  std::int32_t width = 0;           // 0 when the file is too short to say
  std::int32_t height = 0;

  std::span<const std::byte> File() const { return {buffer.get(), size}; }
  std::span<const std::byte> PixelData() const { return File().subspan(pixelDataOffset); }
};

// Reads the whole file into a new kept bitmap (the old buffer is released first)
// and tells whether its header says 800 x 480 at 24 bits per pixel and the whole
// pixel data is there. A file that does not open leaves the kept bitmap as it
// was; a file over kMaxLogoBitmapFileBytes is refused without being read.
bool LoadAndCheckBitmap(const CString& path);

// Non-zero `mode`: "\SDMMC DISK\startup.raw" is created or cut to zero bytes.
// Zero: the kept bitmap becomes a 768,000-byte RGB565 startup.raw, top row first,
// but only after a pre-check that passed; otherwise nothing is written.
// False when the file could not be created or completely written, or when the
// conversion is refused.
bool WriteStartupImage(int mode);

// Read-only view for tests and tools.
const KeptBitmap& KeptBitmapState();

}  // namespace logo
