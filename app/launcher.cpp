#include "app/launcher.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "app/play.h"
#include "platform/framework/winapp.h"
#include "platform/sim/terminal.h"

namespace app {
namespace {

// Options arrive as UTF-8 (on Windows the launcher converts them so); a path there
// must not read them in the ANSI code page.
std::filesystem::path PathFromUtf8(const char* text) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(text)));
#else
  return std::filesystem::path(text);
#endif
}

// --help and --version must have arrived: a full disk or a closed standard output
// is a failure to report (coreutils' habit).
int Answer(const std::string& text) {
  errno = 0;
  const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  if (written && !std::ferror(stdout)) return 0;
  const int error = errno;
  std::fprintf(stderr, "bramble: write error%s%s\n", error ? ": " : "", error ? std::strerror(error) : "");
  return 1;
}

}  // namespace

bool ParseLaunchOptions(int argc, char** argv, LaunchOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    // A value comes as the next word or, as scripts often write it, after "=".
    std::string_view arg = argv[i];
    std::optional<std::string> attached;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      attached = std::string(arg.substr(equals + 1));
      arg = arg.substr(0, equals);
    }
    auto value = [&](std::string_view name) -> const char* {
      if (attached) return attached->c_str();
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (attached && arg != "--root" && arg != "--out" && arg != "--play") {
      error = "unknown option '" + std::string(argv[i]) + "'";
      return false;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--root") {
      const char* dir = value(arg);
      if (!dir) return false;
      options.root = PathFromUtf8(dir);
    } else if (arg == "--out") {
      const char* dir = value(arg);
      if (!dir) return false;
      options.outDir = PathFromUtf8(dir);
    } else if (arg == "--play") {
      const char* list = value(arg);
      if (!list) return false;
      options.steps = SplitPlaySteps(list);
      for (const std::string& step : options.steps) {
        if (!IsPlayStep(step)) {
          error = "unknown step '" + step + "' (known: open, convert, reset, repaint, enter, escape)";
          return false;
        }
      }
      options.play = true;
    } else {
      error = "unknown option '" + std::string(arg) + "'";
      return false;
    }
  }
  return true;
}

std::string CheckPlaces(const LaunchOptions& options, const std::filesystem::path& terminalRoot) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(terminalRoot, ec)) {
    // Whoever meets this has not said which folder to use, or said it wrong: both
    // ways of saying it, as bramble-logo names them.
    return "the terminal folder " + terminalRoot.string() +
           (fs::exists(terminalRoot, ec) ? " is not a folder" : " does not exist") +
           ": name the one to use with --root DIR or the environment variable BRAMBLE_ROOT";
  }
  if (!options.play) return {};
  if (options.outDir.empty()) return "--out needs the name of a folder";
  fs::create_directories(options.outDir, ec);
  if (!fs::is_directory(options.outDir)) return "cannot make the folder " + options.outDir.string() + " for --out";
  // Found now rather than after the dialog has started and changed the terminal.
  const fs::path probe = options.outDir / ".bramble-can-write";
  const bool writable = static_cast<bool>(std::ofstream(probe) << "x");
  fs::remove(probe, ec);
  if (!writable) return "cannot write in " + options.outDir.string() + " for --out";
  return {};
}

std::optional<int> PrepareLaunch(int argc, char** argv, LaunchOptions& options, platform::HostIo& claim) {
  std::string error;
  if (!ParseLaunchOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "bramble: %s; see 'bramble --help'\n", error.c_str());
    return 2;
  }
  if (options.help) return Answer(kUsage);
  if (options.version) return Answer(VersionText());
  std::filesystem::path& terminalRoot = platform::CurrentHost().terminalRoot;
  terminalRoot = platform::ChooseTerminalRoot(options.root);
  if (const std::string problem = CheckPlaces(options, terminalRoot); !problem.empty()) {
    std::fprintf(stderr, "bramble: %s\n", problem.c_str());
    return 2;
  }
  // A second program would convert into the logo.bin the first is programming,
  // and clear the first one's mark at its start.
  platform::HostIo::LockResult result = platform::HostIo::LockResult::kUnavailable;
  claim = platform::ClaimTerminal(terminalRoot, &result);
  if (result == platform::HostIo::LockResult::kBusy) {
    std::fprintf(stderr, "bramble: another Bramble runs on the terminal %s\n", terminalRoot.string().c_str());
    if (const auto claimant = platform::TerminalClaimant(terminalRoot)) platform::CurrentHost().ShowRunningProgram(*claimant);
    return 1;
  }
  if (result != platform::HostIo::LockResult::kHeld) {
    std::fprintf(stderr, "bramble: cannot claim the terminal %s: %s cannot be written, or is a link or no lock file of Bramble's\n",
                 terminalRoot.string().c_str(), platform::TerminalClaimFile(terminalRoot).string().c_str());
    return 2;
  }
  return std::nullopt;
}

int RunProgram(const char* executable, const LaunchOptions& options) {
  std::function<std::string()> playFailure;
  if (options.play) playFailure = InstallPlay({options.steps, options.outDir});
  const int result = AfxWinMain(executable) == 0 ? 0 : 1;
  if (playFailure) {
    if (const std::string failure = playFailure(); !failure.empty()) {
      std::fprintf(stderr, "bramble: %s\n", failure.c_str());
      return 1;
    }
  }
  return result;
}

}  // namespace app
