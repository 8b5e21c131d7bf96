// bramble-logo: see logo_tool.h and `bramble-logo --help`.

#include <csignal>
#include <string>
#include <vector>

#include "platform/sim/surroundings.h"
#include "tools/bramble_logo/logo_tool.h"

int main(int argc, char** argv) {
  // A FIFO or socket whose reader went away is a write error to report, not a
  // reason to die without a word.
  std::signal(SIGPIPE, SIG_IGN);
  platform::InstallSurroundings(platform::SurroundingsOfThisHost());
  std::vector<std::string> args(argv + 1, argv + argc);
  return logo_tool::RunBrambleLogo(args);
}
