// The command line: which commands there are, what each takes, and their help.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool {
namespace {

// The options beyond -q and --help; a flag takes no value.
struct Option {
  std::string_view name;
  std::optional<std::string> Arguments::*value;
  bool Arguments::*flag;
};

constexpr Option kOptions[] = {
    {"root", &Arguments::root, nullptr},          {"fit", &Arguments::fit, nullptr},
    {"background", &Arguments::background, nullptr}, {"model", &Arguments::model, nullptr},
    {"system-version", &Arguments::systemVersion, nullptr}, {"dry-run", nullptr, &Arguments::dryRun},
    {"no-verify", nullptr, &Arguments::noVerify}, {"json", nullptr, &Arguments::json}};

struct Command {
  std::string_view name;
  std::size_t operands;      // check takes this many or more
  std::string_view options;  // of kOptions, space separated
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

`bramble-logo COMMAND --help` describes a command; every command takes -q
(--quiet): nothing but errors. An output appears only when complete; - is
standard output or input. `man bramble-logo` says all.

Exit status: 0 done, 1 refused, 2 wrong usage, 3 program's verification found a
difference, 4 a file cannot be read or written, 5 program's FILE is no logo.
)";

constexpr Command kCommands[] = {
    {"check", 1, "json", RunCheck, R"(Usage: bramble-logo check [--json] FILE...

Says whether each FILE is a logo that the terminal's dialog takes (a bitmap
"BM", 800 x 480 stored bottom-up, 24 bits per pixel, uncompressed, whole, no more
than 64 MiB) and, for each rule that fails, what is wrong and how to fix it.
  --json    one JSON object a line for each FILE

Exit status: 0 every FILE usable, 1 one is not, 4 one cannot be read.
)"},
    {"prepare", 2, "fit background", RunPrepare,
     R"(Usage: bramble-logo prepare IN OUT.bmp [--fit fit|fill|stretch] [--background COLOUR]

Turns a JPEG, PNG, GIF, WebP, TIFF, HEIC, AVIF or BMP picture, or an SVG or PDF
drawing, into an 800 x 480 bitmap that `check` accepts, upright and in sRGB.
  --fit fit       fits inside, proportions kept, with bars (the default)
  --fit fill      covers 800 x 480 and cuts off what sticks out, centred
  --fit stretch   stretches to 800 x 480
  --background COLOUR   bars and transparent parts: black (the default), an
                  HTML colour name (white, navy, ...), or #rrggbb

Exit status: 0 written, 1 IN is not a picture this build reads or is damaged,
4 a file cannot be read or written.
)"},
    {"convert", 2, "", RunConvert, R"(Usage: bramble-logo convert IN.bmp OUT.bin

Converts IN exactly as the dialog's Convert does into the terminal's logo.bin;
a refused bitmap leaves OUT as it was.

Exit status: 0 written, 1 IN is not a usable logo bitmap, 4 IN cannot be read or
OUT cannot be written.
)"},
    {"program", 1, "root dry-run no-verify json", RunProgram,
     R"(Usage: bramble-logo program [--root DIR] FILE [--dry-run] [--no-verify] [--json]

Programs a logo.bin, or a bitmap that check finds usable, into logo area 1 of
the terminal folder DIR through the terminal's flash writer and the simulated
driver in DIR/flash, then reads area 1 back.
  --root DIR     the terminal folder (else $BRAMBLE_ROOT, else ./terminal)
  --dry-run      lists the requests that would be sent and sends none
  --no-verify    does not read area 1 back
  --json         a JSON summary instead of the lines

Exit status: 0 programmed (and verified), 1 the flash cannot be programmed or
refused it, 3 area 1 differs from what was sent, 4 a file cannot be read or
written, 5 FILE is not a logo.
)"},
    {"readback", 1, "root json", RunReadback, R"(Usage: bramble-logo readback [--root DIR] OUT.png|OUT.bmp|OUT.bin [--json]

Writes what the terminal shows at boot from logo area 1 of the terminal folder
DIR: the picture (.png, .bmp) or the data before the end marker (.bin).
  --root DIR     the terminal folder (else $BRAMBLE_ROOT, else ./terminal)
  --json         a JSON summary instead of the lines

Exit status: 0 written, 1 no valid logo, 4 a file cannot be read or written.
)"},
    {"show", 2, "", RunShow, R"(Usage: bramble-logo show FILE.bin OUT.png|OUT.bmp

Renders a logo.bin as a PNG picture, or a 24-bit bitmap for a name in .bmp.

Exit status: 0 written, 1 FILE is not a logo.bin's length, 4 a file cannot be read
or written.
)"},
    {"startup", 2, "", RunStartup, R"(Usage: bramble-logo startup IN.bmp OUT.raw

Writes the RGB565 startup image that the startup writer makes of IN, which must
pass the dialog's pre-check.

Exit status: 0 written, 1 IN does not pass the pre-check, 4 a file cannot be read
or written.
)"},
    {"make-terminal", 1, "model system-version", RunMakeTerminal,
     R"(Usage: bramble-logo make-terminal DIR [--model NAME] [--system-version TEXT]

Makes DIR, new, empty or made by this command before, a terminal folder for
bramble and `bramble-logo program`: model, system version, a default logo, an
empty card and flash.
  --model NAME            the model (default QX210)
  --system-version TEXT   the version the dialog shows (default V1.02)

Exit status: 0 made, 1 DIR holds other files or is not a folder, 2 a NAME or
TEXT that is not one line of UTF-8 or a TEXT that code page 949 cannot hold,
4 a file cannot be written.
)"},
};

constexpr std::string_view kHelpHelp = R"(Usage: bramble-logo help [COMMAND]

Prints the commands or, given a COMMAND, its help.

Exit status: 0, or 2 for a command that does not exist.
)";

int Help(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  return Code(Exit::kOk);
}

// Options may come before, between and after the operands; "--" ends them.
int RunCommand(const Command& command, const std::vector<std::string>& words) {
  Arguments args;
  args.command = command.name;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--") {
      args.operands.insert(args.operands.end(), words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
      break;
    }
    if (word.size() < 2 || word[0] != '-') {
      args.operands.push_back(word);
    } else if (word == "--help" || word == "-h") {
      return Help(command.help);
    } else if (word == "-q" || word == "--quiet") {
      args.quiet = true;
    } else {
      const std::size_t equals = word.find('=');
      const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const auto* option = std::ranges::find(kOptions, name, &Option::name);
      const bool takes = (" " + std::string(command.options) + " ").find(" " + name + " ") != std::string::npos;
      if (!word.starts_with("--") || option == std::end(kOptions) || !takes) {
        return UsageError(args, "unknown option '" + word + "'");
      }
      if (option->flag && equals != std::string::npos) return UsageError(args, "--" + name + " takes no value");
      if (option->flag) {
        args.*option->flag = true;
      } else if (equals != std::string::npos) {
        args.*option->value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        args.*option->value = words[++i];
      } else {
        return UsageError(args, "--" + name + " needs a value");
      }
    }
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

int Dispatch(std::vector<std::string> args) {
  // -q before the command means the same as after it.
  const auto quiet = std::ranges::find_if(args, [](const std::string& word) { return word != "-q" && word != "--quiet"; });
  std::rotate(args.begin(), quiet, quiet == args.end() ? quiet : quiet + 1);
  const Arguments none;
  if (args.empty() || args.front() == "-q" || args.front() == "--quiet") return UsageError(none, "no command given");
  const std::string& first = args.front();
  if (first == "--help" || first == "-h") return Help(kToolHelp);
  if (first == "--version") return Help("bramble-logo " BRAMBLE_VERSION "\n");
  if (first == "help") {
    if (args.size() == 1) return Help(kToolHelp);
    if (args.size() == 2 && (args[1] == "help" || args[1] == "--help" || args[1] == "-h")) return Help(kHelpHelp);
    const auto* command = std::ranges::find(kCommands, args[1], &Command::name);
    return command != std::end(kCommands) && args.size() == 2 ? Help(command->help)
                                                              : UsageError(none, "help takes one command name");
  }
  const auto* command = std::ranges::find(kCommands, first, &Command::name);
  if (command == std::end(kCommands)) {
    return UsageError(none, first.starts_with("-") ? "unknown option '" + first + "'" : "no command '" + first + "'");
  }
  return RunCommand(*command, std::vector<std::string>(args.begin() + 1, args.end()));
}

}  // namespace

// What was printed must have arrived: a full disk or a closed standard output
// fails the command as it would fail any other output (coreutils' habit).
int RunBrambleLogo(const std::vector<std::string>& args) {
  const int code = Dispatch(args);
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return code;
  const int error = flushed ? 0 : errno;  // an earlier flush that failed took its cause with it
  std::fprintf(stderr, "bramble-logo: write error%s%s\n", error ? ": " : "", error ? std::strerror(error) : "");
  return Code(Exit::kFileError);
}

}  // namespace logo_tool
