// bramble-logo: see logo_tool.h and `bramble-logo --help`.

#include <string>
#include <vector>

#include "platform/posix/posix_host.h"
#include "tools/bramble_logo/logo_tool.h"

// SIGPIPE keeps the disposition it was given: by default a reader that leaves
// (`bramble-logo ... | head -c1`) ends the program quietly, as it ends cp.
int main(int argc, char** argv) {
  platform::PosixHost host;
  platform::InstallHost(&host);
  std::vector<std::string> args(argv + 1, argv + argc);
  return logo_tool::RunBrambleLogo(args);
}
