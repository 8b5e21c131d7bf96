// The launcher on a desktop without the terminal's window system: chooses the
// terminal folder, shows the dialog through Qt (off screen under --play), then
// starts the program as the terminal's framework would.

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/bramble_app.h"
#include "app/launcher.h"
#include "app/resources.h"
#include "platform/qt/qt_host.h"

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
  // Installed first: the launcher claims the terminal through its files, and
  // --version reads its resources. Its dialogs need Qt, which comes later.
  platform::qt::QtHost host;
  host.resources = app::CompiledResources();
  platform::InstallHost(&host);
  app::LaunchOptions options;
  platform::HostIo claim;
  if (const std::optional<int> status = app::PrepareLaunch(argc, argv, options, claim)) return *status;

  if (options.play) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // nothing on screen: the dialog renders off screen
  } else if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "bramble: no display to show the dialog on; use --play to run it off screen\n");
    return 1;
  }
  qInstallMessageHandler(QtMessages);
  QApplication qtApp(argc, argv);
  return app::RunProgram(argv[0], options);
}
