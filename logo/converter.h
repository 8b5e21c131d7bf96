#pragma once
// The logo bitmap converter: an 800 x 480 24-bit bitmap becomes the terminal's
// logo image file logo.bin (4 bytes a pixel, top row first, no header).

#include <filesystem>
#include <optional>

#include "platform/framework/afxwin.h"

namespace logo {

enum class ConvertResult : int {
  kWritten = 0,
  kSourceNotOpened = 1,
  kNotLogoBitmap = 2,   // signature, size or bit depth, shorter than a header, or pixel data cut short
  kOutputFailed = 3,    // logo.bin could not be created or completely written
  kSourceUnreadable = 4,  // a read of the source failed: its pixels are unknown, not black
};

// Selector non-zero: `imagePath` (the dialog's image path) -> "\SDMMC DISK\logo.bin";
// that source has passed the pre-check, and pixel data cut short since then is
// refused (kNotLogoBitmap) instead of being filled with black.
// Selector zero: "\ResidentFlash\System\logo.bmp" -> "\ResidentFlash\System\logo.bin";
// `imagePath` is not used.
// Returns a ConvertResult value. Diagnostic lines go to standard output; a source
// that is refused leaves an existing logo.bin as it was, and a logo.bin that could
// not be completely written is removed.
int ConvertBitmapToLogo(int selector, const CString& imagePath);

// The same conversion between two files of the host, for the host tools; the lines
// name `source` and `output` as given. logo.bin is written to `writeTo` when the
// caller gives one (a temporary file that it renames to `output` afterwards),
// otherwise to `output` itself. With `wholePixelData`, pixel data cut short is
// refused as the dialog's Convert refuses it; without, the missing pixels are black.
int ConvertBitmapFile(const std::filesystem::path& source, const std::filesystem::path& output,
                      const std::optional<std::filesystem::path>& writeTo = std::nullopt,
                      bool wholePixelData = false);

}  // namespace logo
