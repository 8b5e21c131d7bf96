// bramble-logo: see logo_tool.h and `bramble-logo --help`.

#include <string>
#include <vector>

#include "tools/bramble_logo/logo_tool.h"

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/text/wide_text.h"
#include "platform/win32/win32_host.h"

using ThisHost = platform::win32::Win32Host;

// The arguments as UTF-8, as on Linux, from the UTF-16 that Windows keeps them in;
// the data and the lines go out as bytes, LF and UTF-8 as on Linux. Standard
// output that is no console is buffered as the C library buffers it on Linux, so
// that a write that fails does so in the last flush, which then says why.
int wmain(int argc, wchar_t** argv) {
  for (const int fd : {0, 1, 2}) _setmode(fd, _O_BINARY);
  if (DWORD mode = 0; !GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(1)), &mode)) {
    std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::ToUtf8(argv[i]));
#else
#include "platform/posix/posix_host.h"

using ThisHost = platform::PosixHost;

// SIGPIPE keeps the disposition it was given: by default a reader that leaves
// (`bramble-logo ... | head -c1`) ends the program quietly, as it ends cp.
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  ThisHost host;
  platform::InstallHost(&host);
  return logo_tool::RunBrambleLogo(args);
}
