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
#include <string_view>
#include <vector>

namespace logo_tool {

// Exit statuses, one table for every command.
enum class Exit : int {
  kOk = 0,
  kRefused = 1,    // the input is not what the command needs (it says why)
  kUsage = 2,      // wrong usage, as bramble's own
  kMismatch = 3,   // program: area 1 does not hold what was sent
  kFileError = 4,  // a file cannot be read or written (it names the file and the cause)
  kNotALogo = 5,   // program: the file is neither a logo.bin nor a bitmap the dialog takes
};
constexpr int Code(Exit exit) { return static_cast<int>(exit); }

// The whole tool: `args` without the program name. Returns the exit status.
int RunBrambleLogo(const std::vector<std::string>& args);

// ---- check -------------------------------------------------------------------

class Input;

enum class Rule {
  kLength,       // too short for the header fields
  kSignature,    // not "BM"
  kHeaderKind,   // an OS/2 header, whose fields lie elsewhere
  kFileSize,     // larger than the dialog reads
  kTopDown,      // 800 x -480
  kSize,         // not 800 x 480
  kBitCount,     // not 24
  kCompression,  // stored compressed, which the converter would copy as pixels
  kPixelOffset,  // warning: the pixel data starts inside the header
  kPixelData,    // pixel data cut short or missing
};

// "size", "bit-count" and so on, as --json names the rules.
const char* RuleName(Rule rule);

struct Finding {
  Rule rule;
  bool blocking;        // false: a warning; the dialog takes the file all the same
  std::string problem;  // what is wrong
  std::string fix;      // how to put it right
};

// From best to worst: several files get the worst of theirs.
enum class Verdict : int { kUsable, kNotUsable, kUnreadable };

struct Diagnosis {
  Verdict verdict = Verdict::kUnreadable;
  std::string error;  // why the file cannot be read, for kUnreadable
  std::optional<std::int32_t> width, height;  // as the header says, when it is a Windows bitmap's
  std::optional<std::uint16_t> bitCount;
  std::vector<Finding> findings;
};

// The dialog's pre-check and converter rules, with a fix for each that fails.
Diagnosis DiagnoseBitmap(const Input& file);
Diagnosis DiagnoseBitmap(const std::filesystem::path& file);

// ---- prepare, show, readback: pictures -------------------------------------

enum class Fit { kStretch, kFit, kFill };

// An opaque colour, 0xRRGGBB.
using Colour = std::uint32_t;

// "white", "navy", "#1e90ff", "#fff": nothing for what is none of these.
std::optional<Colour> ParseColour(std::string_view text);

// The logo as a picture: 800 x 480 pixels of 3 bytes (red, green, blue), top row
// first.
std::size_t LogoRgbBytes();

enum class PictureStatus { kOk, kNotPicture, kDamaged, kTooLarge, kUnreadable };

struct PreparedLogo {
  PictureStatus status = PictureStatus::kUnreadable;
  std::string message;  // why not, for every status but kOk
  int width = 0;        // the picture as shown upright, before fitting
  int height = 0;
  bool transparent = false;    // it had parts that were not opaque
  std::vector<std::byte> rgb;  // LogoRgbBytes() bytes, for kOk
};

// A JPEG, PNG, GIF, WebP, TIFF, HEIC, AVIF or BMP picture as the logo's opaque
// pixels: fitted inside with bars of `background` (its proportions kept),
// stretched, or filled with the centre cut out. A photo is turned upright and
// taken from its colour profile to sRGB; transparent parts show `background`.
PreparedLogo PrepareLogo(const Input& file, Fit fit, Colour background);
PreparedLogo PrepareLogo(const std::filesystem::path& file, Fit fit, Colour background);

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
Verification VerifyArea(const std::filesystem::path& root, const Input& file);

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
