#include "platform/qt/play.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPixmap>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "platform/qt/dialog_host.h"

namespace platform {
namespace {

constexpr std::array<std::string_view, 6> kStepNames = {"open", "convert", "reset", "repaint", "enter", "escape"};
// A timer that is never stopped would keep the loop busy for ever.
constexpr int kPumpLimitMilliseconds = 30000;

struct Transcript {
  std::ofstream file;
  std::vector<std::string> boxes;  // boxes shown during the current step
};

}  // namespace

void PumpUntilIdle(QtDialogHost& host) {
  QElapsedTimer elapsed;
  elapsed.start();
  for (;;) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (host.PaintPending()) continue;
    if (host.Ended() || !host.HasArmedTimers()) break;
    if (elapsed.elapsed() > kPumpLimitMilliseconds) {
      std::fprintf(stderr, "bramble: a timer is still armed after %d ms; going on\n", kPumpLimitMilliseconds);
      break;
    }
    QThread::msleep(1);
  }
  // Deferred deletions and the widget's own repaint.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

namespace {

void Record(QtDialogHost& host, const PlayScript& script, Transcript& transcript, int index, std::string_view step) {
  const std::string name = (index < 10 ? "0" : "") + std::to_string(index) + "-" + std::string(step);
  host.Widget().grab().save(QString::fromStdString((script.outDir / (name + ".png")).string()), "PNG");

  CDialog& dialog = host.Dialog();
  auto text = [&](int id) {
    CWnd* control = dialog.GetDlgItem(id);
    return control ? EscapeTranscriptValue(control->GetWindowText()) : std::string();
  };
  std::ofstream& out = transcript.file;
  out << '[' << index << ' ' << step << "]\n";
  for (const std::string& box : transcript.boxes) out << "box: " << box << '\n';
  transcript.boxes.clear();
  out << "message: " << text(script.controls.message) << '\n';
  out << "model: " << text(script.controls.model) << '\n';
  out << "version: " << text(script.controls.version) << '\n';
  out << "width: " << text(script.controls.width) << '\n';
  out << "height: " << text(script.controls.height) << '\n';
  out << "bitcount: " << text(script.controls.bitCount) << '\n';
  out.flush();
}


void Perform(QtDialogHost& host, const PlayScript& script, std::string_view step) {
  if (step == "repaint") {
    host.Dialog().InvalidateRect(nullptr, TRUE);
  } else if (step == "enter") {
    PressKey(host, Qt::Key_Return);
  } else if (step == "escape") {
    PressKey(host, Qt::Key_Escape);
  } else {
    const std::size_t which = step == "open" ? 0 : step == "convert" ? 1 : 2;
    if (QPushButton* button = host.Button(script.buttons.at(which))) button->click();
  }
}

}  // namespace

// A key press where the user's would go: the focused control, else the dialog.
void PressKey(QtDialogHost& host, int key) {
  QWidget* target = QApplication::focusWidget();
  if (!target || target->window() != &host.Widget()) target = &host.Widget();
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

std::vector<std::string> SplitPlaySteps(std::string_view list) {
  std::vector<std::string> steps;
  if (list.empty()) return steps;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(',', start);
    steps.emplace_back(list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return steps;
    start = end + 1;
  }
}

bool IsPlayStep(std::string_view name) {
  return std::find(kStepNames.begin(), kStepNames.end(), name) != kStepNames.end();
}

std::string EscapeTranscriptValue(const CString& text) {
  std::string out;
  for (char c : text.ToUtf8()) {
    if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

void InstallPlayRunner(PlayScript script) {
  auto transcript = std::make_shared<Transcript>();
  SetMessageBoxPresenter([transcript](const CString& text, unsigned) {
    transcript->boxes.push_back(EscapeTranscriptValue(text));
    return IDOK;
  });
  SetModalRunner([script = std::move(script), transcript](CDialog&, DialogHost& dialogHost) {
    auto& host = static_cast<QtDialogHost&>(dialogHost);
    std::filesystem::create_directories(script.outDir);
    transcript->file.open(script.outDir / "transcript.txt", std::ios::binary | std::ios::trunc);
    PumpUntilIdle(host);
    Record(host, script, *transcript, 0, "start");
    int index = 0;
    for (const std::string& step : script.steps) {
      if (host.Ended()) {
        std::fprintf(stderr, "bramble: the dialog has ended; step %d (%s) and later ones are not run\n", index + 1,
                     step.c_str());
        break;
      }
      ++index;
      Perform(host, script, step);
      PumpUntilIdle(host);
      Record(host, script, *transcript, index, step);
    }
    if (!host.Ended()) {
      PressKey(host, Qt::Key_Escape);
      PumpUntilIdle(host);
    }
  });
}

}  // namespace platform
