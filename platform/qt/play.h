#pragma once
// --play: drives the dialog without hands. After the dialog's initialisation and
// after each step the message loop runs until nothing is pending and no timer is
// armed; then the window is saved as OUTDIR/NN-STEP.png and the control texts are
// appended to OUTDIR/transcript.txt.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"

namespace platform {

struct PlayControls {
  int message;
  int model;
  int version;
  int width;
  int height;
  int bitCount;
};

struct PlayScript {
  std::vector<std::string> steps;
  std::filesystem::path outDir;
  std::vector<int> buttons;  // the controls clicked by "open", "convert", "reset"
  PlayControls controls;
};

// Splits "open,convert"; an empty text is no step.
std::vector<std::string> SplitPlaySteps(std::string_view list);
bool IsPlayStep(std::string_view name);

// Installs the runner that plays the script instead of a user, and a message box
// presenter that records each box into the step's block and confirms it.
void InstallPlayRunner(PlayScript script);

class QtDialogHost;
// Runs the message loop until nothing is pending and no timer is armed.
void PumpUntilIdle(QtDialogHost& host);

// Presses a key (Qt::Key_Return, Qt::Key_Escape) as the user would.
void PressKey(QtDialogHost& host, int key);

// "\n" for a line feed and "\\" for a backslash, as the transcript writes values.
std::string EscapeTranscriptValue(const CString& text);

}  // namespace platform
