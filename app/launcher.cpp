#include "app/launcher.h"

#include <string_view>

#include "app/resources.h"
#include "dialog/resource.h"

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
      options.steps = platform::SplitPlaySteps(list);
      for (const std::string& step : options.steps) {
        if (!platform::IsPlayStep(step)) {
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

platform::PlayScript MakePlayScript(const LaunchOptions& options) {
  return platform::PlayScript{
      options.steps,
      options.outDir,
      {IDC_OPEN_IMAGE, IDC_CONVERT, IDC_RESET_LOGO},
      {IDC_MESSAGE, IDC_MODEL, IDC_VERSION, IDC_WIDTH, IDC_HEIGHT, IDC_BIT_COUNT},
  };
}

std::string VersionText() {
  const VersionInfo& info = Version();
  auto dotted = [](const std::array<std::uint16_t, 4>& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
  };
  std::string text = "Bramble " + dotted(info.fileVersion) + "\n";
  for (const VersionString& entry : info.strings) {
    text += std::string(entry.name) + ": " + std::string(entry.value) + "\n";
  }
  return text;
}

}  // namespace app
