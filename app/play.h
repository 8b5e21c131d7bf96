#pragma once
// --play: the dialog without hands. After the dialog's initialisation and after
// each step, its messages run until none is waiting and no timer is armed; then
// the window is saved as OUTDIR/NN-STEP.png and the control texts are appended
// to OUTDIR/transcript.txt. Written once for every host: only the picture of the
// window is the host's.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/afxwin.h"

namespace app {

struct PlayScript {
  std::vector<std::string> steps;
  std::filesystem::path outDir;
};

// Splits "open,convert"; an empty text between commas is no step.
std::vector<std::string> SplitPlaySteps(std::string_view list);
bool IsPlayStep(std::string_view name);

// "\n" for a line feed and "\\" for a backslash, as the transcript writes values.
std::string EscapeTranscriptValue(const CString& text);

// The next dialog run modally plays the script instead of a user, and the
// installed host saves its pictures; each message box is confirmed at once and
// recorded in its step's block. The folder must exist.
// Returns what tells, once the dialog has ended, that it never started or which
// picture or transcript could not be written (empty when all went well).
std::function<std::string()> InstallPlay(PlayScript script);

}  // namespace app
