#include "app/play.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

#include "dialog/resource.h"

namespace app {
namespace {

constexpr std::array<std::string_view, 6> kStepNames = {"open", "convert", "reset", "repaint", "enter", "escape"};

// The texts a transcript block shows, in its order.
struct ShownControl {
  const char* label;
  int id;
};
constexpr std::array<ShownControl, 6> kShownControls = {{{"message", IDC_MESSAGE},
                                                         {"model", IDC_MODEL},
                                                         {"version", IDC_VERSION},
                                                         {"width", IDC_WIDTH},
                                                         {"height", IDC_HEIGHT},
                                                         {"bitcount", IDC_BIT_COUNT}}};

class Player {
 public:
  explicit Player(PlayScript script) : m_script(std::move(script)) {}

  // A box is confirmed at once; on a screen, the dialog it covered repaints.
  int ConfirmBox(const CString& text) {
    m_boxes.push_back(EscapeTranscriptValue(text));
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd) app->m_pMainWnd->InvalidateRect(nullptr, TRUE);
    return IDOK;
  }

  // What could not be done, empty when everything was.
  std::string failure() const { return m_ran ? m_failure : "the dialog could not be created; nothing was played"; }

  void Run(CDialog& dialog) {
    m_ran = true;
    m_transcript.open(m_script.outDir / "transcript.txt", std::ios::binary | std::ios::trunc);
    Settle(dialog);
    Record(dialog, 0, "start");
    int index = 0;
    for (const std::string& step : m_script.steps) {
      if (dialog.IsEnding()) {
        std::fprintf(stderr, "bramble: the dialog has ended; step %d (%s) and later ones are not run\n", index + 1,
                     step.c_str());
        break;
      }
      ++index;
      Perform(dialog, step);
      Settle(dialog);
      Record(dialog, index, step);
    }
    // After the last step the dialog ends as on Escape.
    if (!dialog.IsEnding()) dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
  }

 private:
  static void Settle(CDialog& dialog) {
    if (!platform::PumpUntilIdle(dialog)) std::fprintf(stderr, "bramble: a timer is still armed after 30 s; going on\n");
  }

  // A click on a button is its command, as the button sends it; Enter and Escape
  // are the OK and Cancel commands, as the dialog manager sends them.
  static void Perform(CDialog& dialog, std::string_view step) {
    if (step == "repaint") {
      dialog.InvalidateRect(nullptr, TRUE);
      return;
    }
    const WORD id = step == "open"      ? IDC_OPEN_IMAGE
                    : step == "convert" ? IDC_CONVERT
                    : step == "reset"   ? IDC_RESET_LOGO
                    : step == "enter"   ? IDOK
                                        : IDCANCEL;
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog.m_hWnd, id)));
  }

  void Record(CDialog& dialog, int index, std::string_view step) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", index);
    const std::string name = number + std::string(step);
    const std::filesystem::path picture = m_script.outDir / (name + ".png");
    if (!platform::CurrentHost().SaveScreenshot(dialog.m_hWnd, picture) && m_failure.empty()) m_failure = "cannot write " + picture.string();
    m_transcript << '[' << index << ' ' << step << "]\n";
    for (const std::string& box : m_boxes) m_transcript << "box: " << box << '\n';
    m_boxes.clear();
    for (const ShownControl& control : kShownControls) {
      CString text;
      if (CWnd* window = dialog.GetDlgItem(control.id)) window->GetWindowText(text);
      m_transcript << control.label << ": " << EscapeTranscriptValue(text) << '\n';
    }
    m_transcript.flush();
    if (!m_transcript && m_failure.empty()) m_failure = "cannot write " + (m_script.outDir / "transcript.txt").string();
  }

  PlayScript m_script;
  std::ofstream m_transcript;
  std::vector<std::string> m_boxes;  // shown during the current step
  std::string m_failure;
  bool m_ran = false;
};

}  // namespace

std::vector<std::string> SplitPlaySteps(std::string_view list) {
  std::vector<std::string> steps;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    if (end > start) steps.emplace_back(list.substr(start, end - start));
    start = end + 1;
  }
  return steps;
}

bool IsPlayStep(std::string_view name) { return std::ranges::find(kStepNames, name) != kStepNames.end(); }

std::string EscapeTranscriptValue(const CString& text) {
  std::string out;
  for (const char c : text.ToUtf8()) {
    if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

std::function<std::string()> InstallPlay(PlayScript script) {
  auto player = std::make_shared<Player>(std::move(script));
  platform::Host& host = platform::CurrentHost();
  host.messageBox = [player](const CString& text, UINT) { return player->ConfirmBox(text); };
  host.modalScript = [player](CDialog& dialog) { player->Run(dialog); };
  return [player] { return player->failure(); };
}

}  // namespace app
