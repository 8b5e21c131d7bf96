#pragma once
// Runs bramble-logo's commands in-process or as the installed program, and the
// dialog's own pre-check and converter, and makes pictures with ImageMagick.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "logo/converter.h"
#include "logo/precheck.h"
#include "tests/support/temp_terminal.h"
#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool_test {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

inline Outcome Tool(const std::vector<std::string>& args) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int code = logo_tool::RunBrambleLogo(args);
  std::fflush(nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  return {code, out, testing::internal::GetCapturedStderr()};
}

inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// A shell command's exit status; -1 when it did not exit.
inline int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline const std::filesystem::path kProgram = std::filesystem::path(BRAMBLE_BINARY_DIR) / "bramble-logo";
inline const std::string kTool = Quoted(kProgram);

// A shell command's exit status and what it said on standard error; its standard
// output is dropped.
inline Outcome ShellOutcome(const std::string& command) {
  FILE* pipe = ::popen(("(" + command + ") 2>&1 >/dev/null").c_str(), "r");
  std::string err;
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) err += static_cast<char>(c);
  const int status = pipe ? ::pclose(pipe) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", err};
}

// strace as a prefix: a sanitizer's leak check would not survive being traced.
inline std::string Strace(const std::string& options) {
  return "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" strace -f -qq " + options + " ";
}

inline void Magick(const std::string& arguments) {
  ASSERT_EQ(Shell("convert " + arguments), 0) << "ImageMagick's convert is needed: " << arguments;
}

inline bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// A command that failed with exit status `code` and said `piece` on standard error.
inline void ExpectFailure(const Outcome& outcome, int code, const std::string& piece) {
  EXPECT_EQ(outcome.code, code) << piece;
  EXPECT_TRUE(Contains(outcome.err, piece)) << outcome.err;
}

// What the dialog does with the file as the card's logo.bmp: the pre-check and the
// converter both take it.
inline bool DialogTakes(const bramble::test::TempTerminal& terminal, const std::filesystem::path& file) {
  std::filesystem::copy_file(file, terminal / "SDMMC DISK/logo.bmp", std::filesystem::copy_options::overwrite_existing);
  testing::internal::CaptureStdout();
  const bool taken = logo::LoadAndCheckBitmap(u"\\SDMMC DISK\\logo.bmp") &&
                     logo::ConvertBitmapToLogo(1, u"\\SDMMC DISK\\logo.bmp") == 0;
  testing::internal::GetCapturedStdout();
  return taken;
}

// Leftovers of outputs that were never completed.
inline long TemporaryFiles(const std::filesystem::path& folder) {
  return std::ranges::count_if(std::filesystem::directory_iterator(folder), [](const auto& entry) {
    return entry.path().filename().string().find(".tmp-") != std::string::npos;
  });
}

}  // namespace logo_tool_test
