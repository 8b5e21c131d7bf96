#pragma once
// bramble-logo: prepares, checks and converts logos on a PC, programs them into a
// terminal folder's flash and shows what the terminal will show at boot. Every
// command reuses the terminal's own converter, flash writer and driver; nothing
// here decides differently from the dialog.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "logo/converter.h"
#include "logo/image_format.h"
#include "tools/bramble_logo/files.h"

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

// ---- check: the dialog's rules for a logo bitmap ---------------------------

struct Finding {
  // The rule, as --json names it: "length" (too short for the header fields),
  // "signature", "header-kind" (OS/2), "file-size", "top-down", "size",
  // "bit-count", "compression", "pixel-offset" (a warning), "pixel-data".
  std::string_view rule;
  bool blocking;        // false: a warning; the dialog takes the file all the same
  std::string problem, fix;  // what is wrong, and how to put it right
};

// From best to worst: several files get the worst of theirs.
enum class Verdict : int { kUsable, kNotUsable, kUnreadable };

struct Diagnosis {
  Verdict verdict = Verdict::kUnreadable;
  std::string error;  // why the file cannot be read, for kUnreadable
  std::optional<std::int32_t> width, height;  // as a Windows bitmap's header says
  std::optional<std::uint16_t> bitCount;
  std::vector<Finding> findings;
};

Diagnosis DiagnoseBitmap(const Input& file);

// ---- pictures ----------------------------------------------------------------

using Colour = std::uint32_t;  // opaque, 0xRRGGBB

// "white", "navy", "#1e90ff", "#fff": nothing for what is none of these.
std::optional<Colour> ParseColour(std::string_view text);

// The logo's pixels as a 24-bit bitmap file, rows bottom-up, 54-byte header.
std::vector<std::byte> EncodeLogoBitmap(std::span<const std::byte> rgb);

// What an output holds, chosen by its name.
enum class Format { kBmp, kPng, kBin, kRaw };
// A logo.bin as the picture the terminal shows, a bitmap or PNG file; nothing,
// with `error`, when that fails.
std::vector<std::byte> PictureOfLogo(Format format, std::span<const std::byte> logoBin, std::string& error);

// ---- what the commands share -----------------------------------------------

// One command's arguments, parsed by cli.cpp, which has checked which options the
// command takes and how many operands it gets.
struct Arguments {
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> root, fit, background, model, systemVersion;
  bool dryRun = false, noVerify = false, quiet = false, json = false;
  // What --json prints when program or readback ends; Complain adds the error.
  mutable nlohmann::ordered_json summary = nlohmann::ordered_json::object();
  mutable bool dataOnStandardOutput = false;  // the summary then goes to standard error
};

int RunCheck(const Arguments&), RunPrepare(const Arguments&), RunConvert(const Arguments&), RunShow(const Arguments&),
    RunStartup(const Arguments&), RunProgram(const Arguments&), RunReadback(const Arguments&),
    RunMakeTerminal(const Arguments&);

// "bramble-logo: message" on standard error; returns `exit`'s code.
int Complain(const Arguments& args, const std::string& message, Exit exit);
// One line that says where to read about it; the usage status.
int UsageError(const Arguments& args, const std::string& message);
// A line on standard output, unless -q or --json asked for none.
[[gnu::format(printf, 2, 3)]] void Say(const Arguments& args, const char* format, ...);
// A JSON value on one line; text that is not UTF-8 is replaced (PutFileName keeps a name's bytes).
void PrintJson(const nlohmann::ordered_json& value, bool toStandardError = false);
// A file's name under `key`, and where it is not UTF-8 its bytes in base64 under `key`_base64.
void PutFileName(nlohmann::ordered_json& summary, const std::string& key, const std::string& name);

// The format an output's name asks for among `accepted`; a name without an
// extension ("-", a device) gets the first. Any other is a usage error, and nothing.
std::optional<Format> OutputFormat(const Arguments& args, const std::filesystem::path& output,
                                   std::initializer_list<Format> accepted);

// The dialog's converter (logo::ConvertBitmapFile, its lines naming `output`),
// whose lines on standard output are set aside while it runs, then shown on
// `onWritten` or `otherwise` by its result, or dropped for nullptr. errno is as the
// converter left it.
logo::ConvertResult Convert(const Input& source, const std::filesystem::path& output, const std::filesystem::path& writeTo,
                            bool wholePixelData, std::FILE* onWritten, std::FILE* otherwise);

// 1536000 -> "1,536,000"; "1 data sector", "3,000 data sectors"; "800 × 480";
// "a JPEG", "an SVG" (read out letter by letter).
std::string Grouped(std::uint64_t value);
std::string Count(std::uint64_t value, std::string_view thing);
std::string Dimensions(std::int64_t width, std::int64_t height);
std::string Article(std::string_view name);

}  // namespace logo_tool
