// The command line: which commands there are, what each takes, and their help.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/bramble_logo/commands.h"

namespace logo_tool {
namespace {

struct Command {
  std::string_view name;
  std::size_t operands;      // how many files it takes; check takes one or more
  std::string_view options;  // the options it takes besides -q, by name, space separated
  int (*run)(const Arguments&);
  std::string_view help;
};

constexpr std::string_view kToolHelp = R"(Usage: bramble-logo COMMAND ARGUMENTS...

Prepares, checks and converts boot logos for the terminal on a PC, programs them
into a terminal folder's flash and shows what the terminal will show at boot,
with the terminal's own converter, flash writer and driver.

Commands:
  check [--json] FILE...              is each FILE a usable logo; how to fix it if not
  prepare IN OUT.bmp [--fit MODE]     a picture or drawing -> 800 x 480 bitmap
          [--background COLOUR]
  convert IN.bmp OUT.bin              the dialog's converter: bitmap -> logo.bin
  program [--root DIR] FILE           programs a logo.bin or logo bitmap into area 1 of DIR
          [--dry-run] [--no-verify] [--json]
  readback [--root DIR] OUT [--json]  area 1 as a picture (.png, .bmp) or its data (.bin)
  show FILE.bin OUT                   a logo.bin as a picture (.png, .bmp)
  startup IN.bmp OUT.raw              the 16-bit startup image (startup.raw)
  make-terminal DIR [--model NAME]    a terminal folder for bramble and program
          [--system-version TEXT]
  help [COMMAND]                      this text, or a command's

`bramble-logo COMMAND --help` describes a command and its exit statuses;
`bramble-logo --version` says which this is. Every command takes -q (--quiet):
nothing but errors. Without --root, the terminal folder is $BRAMBLE_ROOT, else
./terminal. Options take their value as --name VALUE or --name=VALUE.

Exit status, in every command: 0 done, 1 refused (the input is not what the
command needs), 2 wrong usage, 3 program's verification found a difference,
4 a file cannot be read or written (standard output included).

Outputs go where they are pointed: a file appears only when complete (a partial
one never does) and keeps the permissions of the one it replaces; a symbolic
link's target is written and the link stays; a device, FIFO or socket is written
straight into; - is standard output, and the messages then go to standard error.
Nothing temporary is left behind, even when the command is interrupted.
The output's extension chooses its format; a name without one (-, a device) gets
the command's first. Inputs must be regular files; - is standard input.
)";

constexpr Command kCommands[] = {
    {"check", 1, "json", RunCheck, R"(Usage: bramble-logo check [--json] FILE...

Says whether each FILE is a logo that the terminal's dialog takes, by the rules of
its pre-check and converter: the signature "BM", 800 x 480 pixels stored
bottom-up, 24 bits per pixel, all of its pixel data (a file cut short, most often
by a copy to the card, is refused) and no more than 64 MiB. It also refuses a
compressed bitmap, which the converter would copy as pixels. For each rule that
fails it says what is wrong and how to fix it. A warning (the file is taken all
the same): pixel data that starts inside the header.
  --json    one JSON object a line for each FILE: path, usable, width, height,
            bits_per_pixel and findings (rule, blocking, problem, fix), or
            error for a file that cannot be read

Exit status: 0 every FILE usable, 1 one is not, 4 one cannot be read.
)"},
    {"prepare", 2, "fit background", RunPrepare, R"(Usage: bramble-logo prepare IN OUT.bmp [--fit fit|fill|stretch] [--background COLOUR]

Turns a JPEG, PNG, GIF, WebP, TIFF, HEIC, AVIF or BMP picture of any size, or an
SVG or PDF drawing, into an 800 x 480 bitmap with 24 bits per pixel, rows stored
bottom-up, 54-byte header: a file that `check` accepts. A drawing is rendered at
the logo's size (a PDF's first page), its empty parts showing the background.
HEIC, AVIF and PDF are read where the installed libvips reads them; a picture
this build cannot read is named.
  --fit fit       scales to fit inside, proportions kept, and fills the rest
                  with the background (the default)
  --fit fill      scales to cover 800 x 480 and cuts off what sticks out, centred
  --fit stretch   scales to 800 x 480, whatever the proportions
  --background COLOUR
                  what fills the bars and shows where the picture is
                  transparent: black (the default), white, grey, silver, red,
                  maroon, yellow, olive, lime, green, aqua, teal, blue, navy,
                  fuchsia, purple, or #rrggbb
A photo is turned upright by its orientation tag and taken from its colour
profile to sRGB (a picture without one is sRGB already). A picture with
transparent parts and no --background is said so on standard error. A damaged or
cut-short picture is refused, never half shown. IN may be -: standard input.

Exit status: 0 written, 1 IN is not a picture that can be read or is damaged,
4 a file cannot be read or written.
)"},
    {"convert", 2, "", RunConvert, R"(Usage: bramble-logo convert IN.bmp OUT.bin

Converts IN exactly as the dialog's Convert does: OUT becomes the terminal's
logo.bin (1,536,000 bytes), and the converter's lines appear on standard output,
naming the files as given. A refused bitmap leaves OUT as it was, and standard
error says why instead of the converter's lines. OUT's name ends in .bin or has
no extension.

Exit status: 0 written, 1 IN is not a usable logo bitmap, 4 IN cannot be read or
OUT cannot be written.
)"},
    {"program", 1, "root dry-run no-verify json", RunProgram, R"(Usage: bramble-logo program [--root DIR] FILE [--dry-run] [--no-verify] [--json]

Programs a logo into logo area 1 of the flash of the terminal folder DIR,
through the terminal's flash writer and the simulated driver in DIR/flash: data
sectors from sector 0, then the end-marker sector, then the finish request. On a
terminal it shows its progress. Afterwards it reads area 1 back and names the
first sector that differs from what was sent.

FILE is a logo.bin (exactly 1,536,000 bytes), or a bitmap that check finds
usable, which is converted first as the dialog's Convert converts it (into a
scratch file in $TMPDIR that nothing names). Anything else is refused before
anything is sent, with what it is and how to make a logo of it; --dry-run gives
the same verdict.
  --root DIR     the terminal folder (else $BRAMBLE_ROOT, else ./terminal)
  --dry-run      lists the requests that would be sent and sends none
  --no-verify    does not read area 1 back
  --json         a JSON summary instead of the lines: file, flash, bytes,
                 converted, dry_run, data_sectors, end_marker_sector, programmed,
                 verified (null without verification), mismatch, error

Before the first request it makes sure that DIR/flash exists, that no other
program holds it, and that it can be written and has room for area 1. Then, as
the dialog does, it writes DIR/ResidentFlash/System/logo.pending (making the
folder where the terminal folder lacks it), the mark of a change that has not
completed, and removes it only once the finish request succeeded: a programming
cut short shows at the dialog's next start. --dry-run writes no mark.

Exit status: 0 programmed (and verified), 1 no flash folder, the flash in use by
another program, its lock file unusable, not writable or full, a sector refused
(the driver's line on standard error says which) or the finish request failed
(area 1 not made durable), 3 area 1 differs from what was sent, 4 FILE cannot be
read or the mark cannot be written or removed, 5 FILE is not a logo.
)"},
    {"readback", 1, "root json", RunReadback, R"(Usage: bramble-logo readback [--root DIR] OUT.png|OUT.bmp|OUT.bin [--json]

Reads logo area 1 of the terminal folder DIR up to its end marker (the first
sector that is "LOGO" and 508 bytes 0xFF) and writes what the terminal shows at
boot: OUT.png or OUT.bmp the picture (also a name without extension, or -), or
OUT.bin the data sectors before the marker. A picture needs exactly 3,000 data
sectors (1,536,000 bytes); the data is written whatever its length, in whole
sectors, with a note when it is not a logo's. An area file that is not a regular
file, or larger than an area (2 GiB), is refused.
  --root DIR     the terminal folder (else $BRAMBLE_ROOT, else ./terminal)
  --json         a JSON summary instead of the lines: output, flash, format,
                 data_sectors, bytes, logo, error

Exit status: 0 written, 1 no valid logo (no flash folder, area never programmed,
no end marker, or not a logo's length for a picture), 4 a file cannot be read or
written.
)"},
    {"show", 2, "", RunShow, R"(Usage: bramble-logo show FILE.bin OUT.png|OUT.bmp

Renders a logo.bin (exactly 1,536,000 bytes: 800 x 480 pixels of blue, green, red
and a zero byte, top row first) as a PNG picture, or as a 24-bit bitmap for a name
that ends in .bmp.

Exit status: 0 written, 1 FILE is not a logo.bin's length, 4 a file cannot be read
or written.
)"},
    {"startup", 2, "", RunStartup, R"(Usage: bramble-logo startup IN.bmp OUT.raw

Writes the 16-bit startup image that the startup writer's conversion mode makes of
IN: 800 x 480 pixels in RGB565, low byte first, top row first, 768,000 bytes. IN
must pass the dialog's pre-check: 800 x 480 at 24 bits per pixel, all of its
pixel data, no more than 64 MiB. OUT's name ends in .raw or has no extension.

Exit status: 0 written, 1 IN does not pass the pre-check, 4 a file cannot be read
or written.
)"},
    {"make-terminal", 1, "model system-version", RunMakeTerminal,
     R"(Usage: bramble-logo make-terminal DIR [--model NAME] [--system-version TEXT]

Makes DIR a terminal folder, as bramble and `bramble-logo program` use it:
  DIR/registry.reg                    the model name (ModelName of HKEY_LOCAL_MACHINE\Platform\OS)
  DIR/ResidentFlash/System/info.txt   the system version, its first line, in code page 949
  DIR/ResidentFlash/System/logo.bmp   a default logo: 800 x 480, 24-bit, a dark grey field
  DIR/SDMMC DISK/                     an empty card: put the logo.bmp to convert here
  DIR/flash/                          the flash driver, nothing programmed yet
  DIR/.bramble-terminal               the mark of a folder this command made
  --model NAME            the model (default QX210)
  --system-version TEXT   the version the dialog shows (default V1.02)

It never costs anyone a folder: DIR may be new (then made, with its parents) or
empty; a folder it made before is made again, and then only the files above are
replaced, whatever the card and the flash hold staying. Any other folder is
refused and keeps its files.

Exit status: 0 made, 1 DIR holds other files or is not a folder, 2 a NAME or TEXT
that is not UTF-8 or holds a line break, or a TEXT that code page 949 cannot
hold, 4 a file cannot be written.
)"},
};

constexpr std::string_view kHelpHelp = R"(Usage: bramble-logo help [COMMAND]

Prints what the tool does and its commands or, given a COMMAND, what that command
takes, what it does and its exit statuses, as `bramble-logo COMMAND --help` does.

Exit status: 0, or 2 for a command that does not exist.
)";

const Command* FindCommand(std::string_view name) {
  const auto* found = std::ranges::find(kCommands, name, &Command::name);
  return found == std::end(kCommands) ? nullptr : found;
}

int Help(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  return Code(Exit::kOk);
}

bool Takes(const Command& command, std::string_view option) {
  std::string_view rest = command.options;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    if (rest.substr(0, end) == option) return true;
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return false;
}

// Options may come before, between and after the operands; "--" ends them.
int RunCommand(const Command& command, const std::vector<std::string>& words) {
  Arguments args;
  args.command = std::string(command.name);
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      args.operands.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") return Help(command.help);
    if (word == "-q" || word == "--quiet") {
      args.quiet = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    if (!word.starts_with("--") || !Takes(command, name)) return UsageError(args, "unknown option '" + word + "'");
    if (name == "dry-run" || name == "no-verify" || name == "json") {
      if (equals != std::string::npos) return UsageError(args, "--" + name + " takes no value");
      (name == "dry-run" ? args.dryRun : name == "json" ? args.json : args.noVerify) = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
      value = words[++i];
    } else {
      return UsageError(args, "--" + name + " needs a value");
    }
    (name == "root"             ? args.root
     : name == "fit"            ? args.fit
     : name == "model"          ? args.model
     : name == "system-version" ? args.systemVersion
                                : args.background) = value;
  }
  const bool several = command.name == "check";
  if (args.operands.size() != command.operands && !(several && args.operands.size() > command.operands)) {
    return UsageError(args, args.command + " takes " + std::to_string(command.operands) + (several ? " or more" : "") +
                                " file name" + (command.operands == 1 && !several ? "" : "s") + ", not " +
                                std::to_string(args.operands.size()));
  }
  const int code = command.run(args);
  if (args.json && !args.summary.empty()) PrintJson(args.summary, args.dataOnStandardOutput);
  return code;
}

// What was printed must have arrived: a full disk or a closed standard output
// fails the command as it would fail any other output (coreutils' habit).
int FinishStandardOutput(int code) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return code;
  // An earlier flush that failed has taken its cause with it.
  const int error = flushed ? 0 : errno;
  std::fprintf(stderr, "bramble-logo: write error%s%s\n", error ? ": " : "", error ? std::strerror(error) : "");
  return Code(Exit::kFileError);
}

int Dispatch(const std::vector<std::string>& given) {
  // -q before the command means the same as after it.
  std::vector<std::string> args = given;
  const auto quiet = std::ranges::find_if(args, [](const std::string& word) { return word != "-q" && word != "--quiet"; });
  const std::vector<std::string> leading(args.begin(), quiet);
  args.erase(args.begin(), quiet);
  if (!args.empty()) args.insert(args.begin() + 1, leading.begin(), leading.end());
  const Arguments none;
  if (args.empty()) return UsageError(none, "no command given");
  const std::string& first = args.front();
  if (first == "--help" || first == "-h") return Help(kToolHelp);
  if (first == "--version") return Help("bramble-logo " BRAMBLE_VERSION "\n");
  if (first == "help") {
    if (args.size() == 1) return Help(kToolHelp);
    if (args.size() == 2 && (args[1] == "help" || args[1] == "--help" || args[1] == "-h")) return Help(kHelpHelp);
    const Command* command = FindCommand(args[1]);
    return command && args.size() == 2 ? Help(command->help) : UsageError(none, "help takes one command name");
  }
  const Command* command = FindCommand(first);
  if (!command) {
    return UsageError(none, first.starts_with("-") ? "unknown option '" + first + "'" : "no command '" + first + "'");
  }
  return RunCommand(*command, std::vector<std::string>(args.begin() + 1, args.end()));
}

}  // namespace

int RunBrambleLogo(const std::vector<std::string>& args) { return FinishStandardOutput(Dispatch(args)); }

}  // namespace logo_tool
