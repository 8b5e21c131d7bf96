#include "platform/sim/surroundings.h"

#include <cstdlib>
#include <utility>

namespace platform {
namespace {
Surroundings g_surroundings;
}

Surroundings InstallSurroundings(Surroundings surroundings) {
  return std::exchange(g_surroundings, std::move(surroundings));
}

const Surroundings& CurrentSurroundings() { return g_surroundings; }

std::filesystem::path ChooseTerminalRoot(const std::optional<std::filesystem::path>& option) {
  if (option) return *option;
  if (const char* env = std::getenv("BRAMBLE_ROOT"); env && *env) return env;
  return kDefaultTerminalFolder;
}

}  // namespace platform
