// The launcher on Windows: the same options and terminal folder as on Linux; the
// dialog is the platform's own, made by its dialog manager from resource 102.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/bramble_app.h"
#include "app/launcher.h"
#include "platform/win32/win32_host.h"

// The one application object.
CBrambleApp theApp;

int wmain(int argc, wchar_t** argv) {
  // The converter's lines already end in CR LF: written as they are, as on the terminal.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The options as UTF-8, as the launcher reads them on every host.
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) words.push_back(platform::ToUtf8(argv[i]));
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());

  platform::win32::Win32Host host;
  platform::InstallHost(&host);
  app::LaunchOptions options;
  platform::HostIo claim;
  if (const std::optional<int> status = app::PrepareLaunch(argc, pointers.data(), options, claim)) return *status;
  // The dialog covers the screen however it was started.
  const platform::win32::KeepMaximized keepMaximized;
  return app::RunProgram(pointers[0], options);
}
