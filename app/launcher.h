#pragma once
// Command-line options of the launcher `bramble`.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/host_io.h"

namespace app {

struct LaunchOptions {
  std::optional<std::filesystem::path> root;
  bool play = false;
  std::vector<std::string> steps;
  std::filesystem::path outDir = "bramble-play";
  bool help = false;
  bool version = false;
};

inline constexpr const char* kUsage =
    "usage: bramble [--root DIR] [--play STEPS --out OUTDIR]\n"
    "       bramble --version | --help\n"
    "\n"
    "Shows the logo dialog of the terminal whose storage, registry and flash are\n"
    "the folder DIR. Open image previews the card's logo.bmp, DIR/SDMMC DISK/logo.bmp\n"
    "(any case of its letters, as LOGO.BMP); Convert checks it, converts it to\n"
    "DIR/SDMMC DISK/logo.bin and programs logo area 1 of DIR/flash.\n"
    "bramble-logo prepares such a logo.bmp from a photo.\n"
    "\n"
    "  --root DIR     the terminal folder (default: $BRAMBLE_ROOT, else ./terminal)\n"
    "  --play STEPS   run without hands: comma-separated open, convert, reset,\n"
    "                 repaint, enter, escape; renders off screen\n"
    "  --out OUTDIR   where --play writes NN-STEP.png and transcript.txt\n"
    "                 (default: ./bramble-play)\n"
    "  --version      the version information\n"
    "  --help         this text\n"
    "Options take their value as the next word or after =: --root=DIR.\n";

// False with a message for an unknown option, a missing value or an unknown step.
// An empty step is no step: "open,,convert" plays open and convert, and
// --play "" plays only the start.
bool ParseLaunchOptions(int argc, char** argv, LaunchOptions& options, std::string& error);

// What stops the program before it touches anything: a terminal folder that is
// not a folder, an --out folder that cannot be made or written. Empty when none.
std::string CheckPlaces(const LaunchOptions& options, const std::filesystem::path& terminalRoot);

// What --version prints: the version and the strings of the version resource.
std::string VersionText();

// The launcher's first steps on every host: parses the options, answers --help and
// --version, chooses the installed host's terminal folder and checks it and --out,
// then claims the terminal for this program (`claim` holds it until the program
// ends). Returns the exit status when the program ends there, nothing when the
// dialog is to run. When another program holds the terminal, nothing is touched:
// one line on standard error, the host shows that program where it can, and the
// status is 1.
std::optional<int> PrepareLaunch(int argc, char** argv, LaunchOptions& options, platform::HostIo& claim);

// Runs the program as the terminal's framework starts it, played without hands
// under --play. The exit status.
int RunProgram(const char* executable, const LaunchOptions& options);

}  // namespace app
