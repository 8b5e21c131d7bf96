// The host launcher: chooses the terminal folder, then starts the program as the
// terminal's framework would.

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/bramble_app.h"
#include "app/launcher.h"
#include "app/resources.h"
#include "platform/qt/dialog_host.h"
#include "platform/qt/play.h"
#include "platform/terminal.h"

// The one application object.
CBrambleApp theApp;

namespace {

// Standard error carries the platform's debug lines; Qt's own chatter (no runtime
// folder, an off-screen plugin without window activation) would mix into them.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "bramble: %s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
  app::LaunchOptions options;
  std::string error;
  if (!app::ParseLaunchOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "bramble: %s\n%s", error.c_str(), app::kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(app::kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(app::VersionText().c_str(), stdout);
    return 0;
  }

  platform::SetTerminalRoot(platform::ChooseTerminalRoot(options.root));
  if (options.play) {
    // Nothing on screen: the dialog renders off screen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  } else if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "bramble: no display to show the dialog on; use --play to run it off screen\n");
    return 1;
  }

  qInstallMessageHandler(QtMessages);
  QApplication qtApp(argc, argv);
  app::RegisterResources();
  platform::InstallQtWindowSystem();
  if (options.play) platform::InstallPlayRunner(app::MakePlayScript(options));
  return AfxWinMain(argv[0]) == 0 ? 0 : 1;
}
