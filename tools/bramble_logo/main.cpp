// bramble-logo: see logo_tool.h and `bramble-logo --help`.

#include <string>
#include <vector>

#include "tools/bramble_logo/logo_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return logo_tool::RunBrambleLogo(args);
}
