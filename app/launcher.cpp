#include "app/launcher.h"

#include <string_view>

#include "app/play.h"

namespace app {

bool ParseLaunchOptions(int argc, char** argv, LaunchOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view name) -> const char* {
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--root") {
      const char* dir = value(arg);
      if (!dir) return false;
      options.root = dir;
    } else if (arg == "--out") {
      const char* dir = value(arg);
      if (!dir) return false;
      options.outDir = dir;
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

}  // namespace app
