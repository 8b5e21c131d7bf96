#pragma once
// Terminal folders as a user's terminal holds them, for the dialog and launcher tests.

#include <string>
#include <string_view>

#include "tests/support/bitmap_builder.h"
#include "tests/support/temp_terminal.h"

namespace bramble::test {

// A registry naming the model, and info.txt with the version.
void WriteIdentity(const TempTerminal& terminal, std::string_view model, std::string_view version = "V1.02");
// A bitmap on the card as logo.bmp (or at another relative path).
void WriteBitmap(const TempTerminal& terminal, const BitmapLayout& layout, std::string_view relative = "SDMMC DISK/logo.bmp",
                 const PixelFunction& pixel = PatternPixel);
// A listed model, a valid logo.bmp on the card, a default logo in resident flash
// and a flash driver folder with its trace switched on.
void MakeReadyTerminal(const TempTerminal& terminal, std::string_view model = "QX210");

// The sector that ends a logo in flash: "LOGO" and 508 bytes of 0xFF.
std::vector<std::byte> EndMarker();

std::string ReadText(const std::filesystem::path& path);

}  // namespace bramble::test
