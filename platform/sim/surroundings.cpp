#include "platform/sim/surroundings.h"

#include <cstdlib>
#include <utility>

namespace platform {
#ifdef _WIN32
void InstallTerminalShim();  // win32_shim.cpp
#endif

namespace {
Surroundings g_surroundings;
}

Surroundings InstallSurroundings(Surroundings surroundings) {
#ifdef _WIN32
  // On Windows the terminal's paths and devices reach the simulator through it.
  InstallTerminalShim();
#endif
  return std::exchange(g_surroundings, std::move(surroundings));
}

const Surroundings& CurrentSurroundings() { return g_surroundings; }

std::filesystem::path ChooseTerminalRoot(const std::optional<std::filesystem::path>& option) {
  if (option) return *option;
  if (const char* env = std::getenv("BRAMBLE_ROOT"); env && *env) return env;
  return "terminal";
}

}  // namespace platform
