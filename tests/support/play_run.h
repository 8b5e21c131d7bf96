#pragma once
// The real program started as a user's script starts it: bramble --play on a
// terminal folder, its transcript and its standard error.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/wide_text.h"
#include "tests/support/temp_terminal.h"

extern char** environ;

namespace bramble::test {

inline const std::filesystem::path kBramble = std::filesystem::path(BRAMBLE_BINARY_DIR) / "bramble";

// A started program, killed and reaped if the test leaves before it ends. It runs
// under `timeout`, which only stops a hung program from hanging the suite.
class Program {
 public:
  Program(std::vector<std::string> argv, const std::filesystem::path& out, const std::filesystem::path& err,
          int timeoutSeconds = 120) {
    argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(timeoutSeconds)});
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawnp(&m_pid, args[0], &files, nullptr, args.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  // `timeout` runs the program in a process group of its own.
  ~Program() {
    if (m_pid > 0) { ::kill(-m_pid, SIGKILL); ::kill(m_pid, SIGKILL); }
    Wait();
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The exit code, or 128 + the signal that ended it.
  int Wait() {
    int status = 0;
    rusage usage{};
    if (m_pid <= 0 || ::wait4(m_pid, &status, 0, &usage) != m_pid) return -1;
    m_pid = -1;
    m_peakKilobytes = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // The most memory the program (or its largest descendant) held, once waited for.
  long PeakKilobytes() const { return m_peakKilobytes; }

 private:
  pid_t m_pid = -1;
  long m_peakKilobytes = 0;
};

struct PlayResult {
  int exitCode = -1;
  std::string transcript;
  std::string err;
  std::filesystem::path out;  // where the pictures went
  long peakKilobytes = 0;
};

inline std::filesystem::path FreshOutFolder(const TempTerminal& terminal) {
  static std::atomic<int> runs{0};
  const std::filesystem::path out = terminal / ("out-" + std::to_string(++runs));
  std::filesystem::create_directories(out);
  return out;
}

inline Program StartPlay(const TempTerminal& terminal, const std::string& steps, const std::filesystem::path& out,
                         const std::vector<std::string>& extra = {}, int timeoutSeconds = 120) {
  std::vector<std::string> argv = {kBramble.string(), "--root", terminal.root().string(), "--play", steps, "--out", out.string()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return Program(argv, "/dev/null", out / "stderr.txt", timeoutSeconds);
}

inline PlayResult Finish(Program& program, const std::filesystem::path& out) {
  const int code = program.Wait();
  return {code, ReadText(out / "transcript.txt"), ReadText(out / "stderr.txt"), out, program.PeakKilobytes()};
}

inline PlayResult Play(const TempTerminal& terminal, const std::string& steps, const std::vector<std::string>& extra = {}) {
  const std::filesystem::path out = FreshOutFolder(terminal);
  Program program = StartPlay(terminal, steps, out, extra);
  return Finish(program, out);
}

// The message line of the block for step `index`; "" when there is none.
inline std::string MessageAt(const std::string& transcript, int index) {
  const std::string header = "[" + std::to_string(index) + " ";
  std::istringstream lines(transcript);
  bool inBlock = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("[")) inBlock = line.starts_with(header);
    if (inBlock && line.starts_with("message: ")) return line.substr(9);
  }
  return "";
}

// The transcript's way of writing a text: a line feed as \n, a backslash as \\.
inline std::string Escaped(const char16_t* text) {
  std::string out;
  for (const char c : platform::ToUtf8(text)) out += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
  return out;
}

// A run that ended well, whose steps after the start showed `messages` in turn.
inline void ExpectMessages(const PlayResult& run, const std::vector<const char16_t*>& messages) {
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (int i = 1; i <= std::ssize(messages); ++i) EXPECT_EQ(MessageAt(run.transcript, i), Escaped(messages[i - 1])) << "step " << i;
}

}  // namespace bramble::test
