#pragma once
// The logo bitmap converter: an 800 x 480 24-bit bitmap becomes the terminal's
// logo image file logo.bin (4 bytes a pixel, top row first, no header).

#include "platform/cstring.h"

namespace logo {

enum class ConvertResult : int {
  kWritten = 0,
  kSourceNotOpened = 1,
  kNotLogoBitmap = 2,   // signature, size or bit depth, or shorter than a header
  kOutputFailed = 3,    // logo.bin could not be created or completely written
};

// Selector non-zero: `imagePath` (the dialog's image path) -> "\SDMMC DISK\logo.bin".
// Selector zero: "\ResidentFlash\System\logo.bmp" -> "\ResidentFlash\System\logo.bin";
// `imagePath` is not used.
// Returns a ConvertResult value. Diagnostic lines go to standard output; a source
// that is refused leaves an existing logo.bin as it was, and a logo.bin that could
// not be completely written is removed.
int ConvertBitmapToLogo(int selector, const CString& imagePath);

}  // namespace logo
