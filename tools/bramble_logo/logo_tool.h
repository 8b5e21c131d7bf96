#pragma once
// bramble-logo: prepares, checks and converts logos on a PC, programs them into a
// terminal folder's flash and shows what the terminal will show at boot. Every
// command reuses the terminal's own converter, flash writer and driver; nothing
// here decides differently from the dialog.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace logo_tool {

// Exit statuses of the commands; convert exits with the converter's own result.
enum class Exit : int {
  kOk = 0,
  kRefused = 1,    // the input is not what the command needs (it says why)
  kFileError = 2,  // a file cannot be read or written (it names the file and the cause)
  kMismatch = 3,   // program: area 1 does not hold what was sent
  kUsage = 64,
};
constexpr int Code(Exit exit) { return static_cast<int>(exit); }

// The whole tool: `args` without the program name. Returns the exit status.
int RunBrambleLogo(const std::vector<std::string>& args);

// ---- check -------------------------------------------------------------------

enum class Rule {
  kLength,       // too short for the header fields
  kSignature,    // not "BM"
  kHeaderKind,   // an OS/2 header, whose fields lie elsewhere
  kTopDown,      // 800 x -480
  kSize,         // not 800 x 480
  kBitCount,     // not 24
  kCompression,  // stored compressed, which the converter would copy as pixels
  kPixelOffset,  // warning: the pixel data starts inside the header
  kPixelData,    // warning: pixel data cut short, the rest becomes black
};

struct Finding {
  Rule rule;
  bool blocking;     // false: a warning; the dialog takes the file all the same
  std::string text;  // what is wrong, then how to fix it
};

enum class Verdict : int { kUsable = 0, kNotUsable = 1, kUnreadable = 2 };

struct Diagnosis {
  Verdict verdict = Verdict::kUnreadable;
  std::string error;  // why the file cannot be read, for kUnreadable
  std::vector<Finding> findings;
};

// The dialog's pre-check and converter rules, with a hint for each that fails.
Diagnosis DiagnoseBitmap(const std::filesystem::path& file);

// ---- prepare, show, readback: pictures -------------------------------------

enum class Fit { kStretch, kFit, kFill };

// The logo as a picture: 800 x 480 pixels of 3 bytes (red, green, blue), top row
// first.
std::size_t LogoRgbBytes();

enum class PictureStatus { kOk, kNotPicture, kDamaged, kTooLarge, kUnreadable };

struct PreparedLogo {
  PictureStatus status = PictureStatus::kUnreadable;
  std::string message;  // why not, for every status but kOk
  int width = 0;        // the picture as shown upright, before fitting
  int height = 0;
  std::vector<std::byte> rgb;  // LogoRgbBytes() bytes, for kOk
};

// A JPEG, PNG, GIF, WebP, TIFF or BMP picture as the logo's opaque pixels:
// stretched, fitted on black bars, or filled with the centre cut out. A photo is
// turned upright and taken from its colour profile to sRGB; transparent parts
// become black.
PreparedLogo PrepareLogo(const std::filesystem::path& file, Fit fit);

// The logo's pixels as a 24-bit bitmap file, rows bottom-up, 54-byte header.
std::vector<std::byte> EncodeLogoBitmap(std::span<const std::byte> rgb);

// A logo.bin (exactly 1,536,000 bytes) as the picture the terminal shows.
std::vector<std::byte> LogoImageToPicture(std::span<const std::byte> logoBin);

// The logo's pixels as a PNG file; nothing, with `error`, when that fails.
std::vector<std::byte> EncodePng(std::span<const std::byte> rgb, std::string& error);

// ---- program, readback -----------------------------------------------------

struct AreaMismatch {
  std::uint32_t sector;
  std::size_t byte;  // first differing byte within the sector
  bool marker;       // the end-marker sector
};

struct Verification {
  std::string error;  // the file or the area could not be read
  std::optional<AreaMismatch> mismatch;
};

// Compares area 1 of the terminal folder `root` with what programming `file`
// leaves there: its data sectors filled as the writer fills them, then the end
// marker.
Verification VerifyArea(const std::filesystem::path& root, const std::filesystem::path& file);

enum class AreaState { kNoFlash, kNoAreaFile, kUnreadable, kNoMarker, kMarker };

struct AreaScan {
  AreaState state = AreaState::kNoFlash;
  std::uint32_t dataSectors = 0;  // sectors before the marker (kMarker), or scanned (kNoMarker)
  std::string error;              // kUnreadable
};

// Finds the end marker of area 1: the first sector that is exactly "LOGO" and 508
// bytes 0xFF.
AreaScan ScanLogoArea(const std::filesystem::path& root);

}  // namespace logo_tool
