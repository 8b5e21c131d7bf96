// The launcher on a desktop without the terminal's window system: chooses the
// terminal folder, shows the dialog through Qt (off screen under --play), then
// starts the program as the terminal's framework would.

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/bramble_app.h"
#include "app/launcher.h"
#include "app/play.h"
#include "app/resources.h"
#include "platform/qt/qt_host.h"
#include "platform/sim/surroundings.h"

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
  platform::Surroundings surroundings;
  surroundings.resources = app::CompiledResources();
  surroundings.terminalRoot = platform::ChooseTerminalRoot(options.root);
  platform::InstallSurroundings(surroundings);
  if (options.help) {
    std::fputs(app::kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(app::VersionText().c_str(), stdout);
    return 0;
  }
  if (const std::string problem = app::CheckPlaces(options, surroundings.terminalRoot); !problem.empty()) {
    std::fprintf(stderr, "bramble: %s\n", problem.c_str());
    return 2;
  }

  if (options.play) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // nothing on screen: the dialog renders off screen
  } else if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "bramble: no display to show the dialog on; use --play to run it off screen\n");
    return 1;
  }
  qInstallMessageHandler(QtMessages);
  QApplication qtApp(argc, argv);
  platform::qt::QtHost host;
  surroundings.host = &host;
  platform::InstallSurroundings(surroundings);
  std::function<std::string()> playFailure;
  if (options.play) {
    playFailure = app::InstallPlay({options.steps, options.outDir}, [&host](HWND dialog, const std::filesystem::path& file) {
      return host.Screenshot(dialog).save(QString::fromStdString(file.string()), "PNG");
    });
  }
  const int result = AfxWinMain(argv[0]) == 0 ? 0 : 1;
  if (playFailure && !playFailure().empty()) {
    std::fprintf(stderr, "bramble: %s\n", playFailure().c_str());
    return 1;
  }
  return result;
}
