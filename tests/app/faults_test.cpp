// Faults a user's terminal meets, met by the real program started as a script
// starts it: a full or write-protected card, a driver that refuses sectors or is
// missing, a card pulled out between two clicks, a program killed while it
// programs. The user must be told, and no logo may be lost or half replaced.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dialog/messages.h"
#include "platform/cstring.h"
#include "platform/qt/play.h"
#include "tests/support/terminal_setup.h"

extern char** environ;

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const fs::path kBramble = fs::path(BRAMBLE_BINARY_DIR) / "bramble";
// A run takes a fraction of a second; the limit only stops a hung program from
// hanging the suite, the sanitizer build included.
constexpr milliseconds kRunLimit{60000};
constexpr std::size_t kSector = 512;
constexpr std::size_t kMarkerSector = 3000;
constexpr std::size_t kAreaSectors = kMarkerSector + 1;
constexpr std::size_t kLogoBinBytes = 1536000;
constexpr auto kOldFill = std::byte{0xA5};
constexpr auto kErased = std::byte{0xFF};
constexpr int kCannotMount = 77;

// A started program, killed and reaped if the test leaves before it ends.
class Process {
 public:
  // argv[0] is looked up on PATH; standard output is dropped, standard error kept in `errors`.
  Process(const std::vector<std::string>& argv, const fs::path& errors) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() { Kill(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return m_pid > 0; }
  void Signal(int signal) const {
    if (m_pid > 0) ::kill(m_pid, signal);
  }
  // The exit code, or 128 + the signal that ended it; nothing when it still runs
  // at the limit (it is then killed).
  std::optional<int> Wait(milliseconds limit = kRunLimit) {
    const auto deadline = Clock::now() + limit;
    while (m_pid > 0 && Clock::now() < deadline) {
      int status = 0;
      const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(milliseconds(2));
    }
    Kill();
    return std::nullopt;
  }

 private:
  void Kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

  pid_t m_pid = -1;
};

// The reading end of a named pipe the program writes into. Its buffer is cut to
// one page, so a writer the test does not read from stops after a few kilobytes:
// the test, not the scheduler, decides how far the program gets.
class Fifo {
 public:
  enum class Outcome { kEnough, kWriterGone, kTimedOut };

  explicit Fifo(const fs::path& path) {
    if (::mkfifo(path.c_str(), 0644) == 0) m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0) m_capacity = ::fcntl(m_fd, F_SETPIPE_SZ, 4096);
  }
  ~Fifo() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  bool Ready() const { return m_fd >= 0 && m_capacity > 0; }
  std::size_t Capacity() const { return static_cast<std::size_t>(m_capacity); }

  // Appends what arrives to `data` until `enough(data)`, the writer closes its end
  // or the limit passes.
  Outcome ReadUntil(std::string& data, const std::function<bool(const std::string&)>& enough,
                    milliseconds limit = kRunLimit) {
    const auto deadline = Clock::now() + limit;
    char buffer[4096];
    while (!enough(data)) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Outcome::kTimedOut;
      pollfd ready{m_fd, POLLIN, 0};
      // A pipe no writer has opened yet reports nothing, so this waits for the program.
      if (::poll(&ready, 1, static_cast<int>(std::min<std::int64_t>(left, 100))) <= 0) continue;
      if (ready.revents & POLLIN) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got > 0) {
          data.append(buffer, static_cast<std::size_t>(got));
          continue;
        }
      }
      if (ready.revents & POLLHUP) return Outcome::kWriterGone;
    }
    return Outcome::kEnough;
  }
  Outcome ReadToEnd(std::string& data) {
    return ReadUntil(data, [](const std::string&) { return false; });
  }

 private:
  int m_fd = -1;
  int m_capacity = 0;
};

struct PlayResult {
  int exitCode = -1;
  std::string transcript;
  std::string err;
};

fs::path FreshOutFolder(const TempTerminal& terminal) {
  static std::atomic<int> runs{0};
  const fs::path out = terminal / ("out-" + std::to_string(++runs));
  fs::create_directories(out);
  return out;
}

std::vector<std::string> PlayArguments(const TempTerminal& terminal, const std::string& steps, const fs::path& out) {
  return {kBramble.string(), "--root", terminal.root().string(), "--play", steps, "--out", out.string()};
}

PlayResult Finish(Process& program, const fs::path& out) {
  PlayResult result;
  if (!program.Started()) {
    ADD_FAILURE() << "the program did not start";
    return result;
  }
  const std::optional<int> code = program.Wait();
  if (!code) ADD_FAILURE() << "the program was still running after " << kRunLimit.count() << " ms";
  result.exitCode = code.value_or(-1);
  result.transcript = ReadText(out / "transcript.txt");
  result.err = ReadText(out / "stderr.txt");
  return result;
}

PlayResult Play(const TempTerminal& terminal, const std::string& steps) {
  const fs::path out = FreshOutFolder(terminal);
  Process program(PlayArguments(terminal, steps, out), out / "stderr.txt");
  return Finish(program, out);
}

// Plays `steps` and holds the program once it has recorded the step whose picture
// is `heldPicture` (it writes the picture into a pipe smaller than the picture),
// runs `between` as the user's action, then lets the program go on.
PlayResult PlayWithActionAfter(const TempTerminal& terminal, const std::string& steps, const std::string& heldPicture,
                               const std::function<void()>& between) {
  const fs::path out = FreshOutFolder(terminal);
  Fifo picture(out / heldPicture);
  if (!picture.Ready()) {
    ADD_FAILURE() << "cannot make the pipe " << heldPicture;
    return {};
  }
  Process program(PlayArguments(terminal, steps, out), out / "stderr.txt");
  std::string png;
  if (picture.ReadUntil(png, [](const std::string& data) { return !data.empty(); }) != Fifo::Outcome::kEnough) {
    ADD_FAILURE() << "the program never reached " << heldPicture;
    return {};
  }
  between();
  EXPECT_EQ(picture.ReadToEnd(png), Fifo::Outcome::kWriterGone);
  // A picture that fit the pipe whole would have let the program run on.
  EXPECT_GT(png.size(), picture.Capacity()) << "the program was not held";
  return Finish(program, out);
}

// The message line of the block for step `index`; "" when there is none.
std::string MessageAt(const std::string& transcript, int index) {
  const std::string header = "[" + std::to_string(index) + " ";
  std::istringstream lines(transcript);
  bool inBlock = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("[")) inBlock = line.starts_with(header);
    if (inBlock && line.starts_with("message: ")) return line.substr(9);
  }
  return "";
}

std::string Escaped(const char16_t* text) { return platform::EscapeTranscriptValue(CString(text)); }

// An older logo, complete with its end marker, as an earlier change left it.
std::vector<std::byte> OldArea() {
  std::vector<std::byte> area(kAreaSectors * kSector, kOldFill);
  const auto marker = area.begin() + static_cast<std::ptrdiff_t>(kMarkerSector * kSector);
  std::fill(marker, area.end(), kErased);
  const char logo[] = "LOGO";
  for (int i = 0; i < 4; ++i) marker[i] = static_cast<std::byte>(logo[i]);
  return area;
}

// Area 1 sector by sector as runs of "old" (the older logo's data), "marker",
// "erased" and "data" (anything else): "data 0-1499, erased 1500-3000".
std::string Describe(const fs::path& areaFile) {
  const std::vector<std::byte> area = ReadFileBytes(areaFile);
  const std::vector<std::byte> oldArea = OldArea();
  auto kind = [&](std::size_t s) -> std::string {
    std::vector<std::byte> sector(kSector, kErased);  // past the file's end: erased flash
    for (std::size_t i = 0; i < kSector && s * kSector + i < area.size(); ++i) sector[i] = area[s * kSector + i];
    if (std::all_of(sector.begin(), sector.end(), [](std::byte b) { return b == kErased; })) return "erased";
    if (std::all_of(sector.begin(), sector.end(), [](std::byte b) { return b == kOldFill; })) return "old";
    if (std::equal(sector.begin(), sector.end(), oldArea.begin() + static_cast<std::ptrdiff_t>(kMarkerSector * kSector)))
      return "marker";
    return "data";
  };
  std::string runs;
  for (std::size_t s = 0; s < kAreaSectors;) {
    const std::string k = kind(s);
    std::size_t end = s + 1;
    while (end < kAreaSectors && kind(end) == k) ++end;
    runs += (runs.empty() ? "" : ", ") + k + " " + std::to_string(s) + (end - 1 > s ? "-" + std::to_string(end - 1) : "");
    s = end;
  }
  return runs;
}

const std::string kOldLogoWhole = "old 0-2999, marker 3000";

struct MountedRun {
  std::optional<std::string> skipReason;
  PlayResult result;
  std::string cardAfter;  // the card's entries, one a line, seen inside the mount
};

// Runs `setup` (shell commands over $card, the card folder; they exit 77 when they
// cannot mount), then the program, in a private mount namespace of its own, so
// nothing stays mounted whatever happens to the test.
MountedRun PlayOnMountedCard(const TempTerminal& terminal, const std::string& setup, const std::string& steps) {
  MountedRun run;
  std::vector<std::string> unshare;
  std::string refusal;
  for (const std::vector<std::string>& candidate :
       {std::vector<std::string>{"unshare", "--mount"}, {"unshare", "--user", "--map-root-user", "--mount"}}) {
    std::vector<std::string> probe = candidate;
    probe.push_back("true");
    Process tryIt(probe, terminal / "unshare-probe.txt");
    if (!tryIt.Started()) {
      run.skipReason = "no unshare tool to make a private mount namespace with";
      return run;
    }
    if (tryIt.Wait() == 0) {
      unshare = candidate;
      break;
    }
    refusal += ReadText(terminal / "unshare-probe.txt");
  }
  if (unshare.empty()) {
    run.skipReason = "no private mount namespace here, neither as root nor in a user namespace: " + refusal;
    return run;
  }
  const fs::path out = FreshOutFolder(terminal);
  const std::string script = "card=\"$1/SDMMC DISK\"\n" + setup +
                             "\n\"$2\" --root \"$1\" --play \"$3\" --out \"$4\" >/dev/null 2>\"$4/stderr.txt\"\n"
                             "status=$?\nls -A \"$card\" >\"$4/card-after.txt\"\nexit $status\n";
  std::vector<std::string> argv = unshare;
  for (const std::string& arg : {std::string("sh"), std::string("-c"), script, std::string("sh"),
                                 terminal.root().string(), kBramble.string(), steps, out.string()})
    argv.push_back(arg);
  Process shell(argv, out / "mount-errors.txt");
  run.result = Finish(shell, out);
  if (run.result.exitCode == kCannotMount) run.skipReason = "cannot mount the card: " + ReadText(out / "mount-errors.txt");
  run.cardAfter = ReadText(out / "card-after.txt");
  return run;
}

TEST(FullCard, LogoBinOnAFullDeviceIsReportedAndLeavesAreaOneAndNoFile) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  terminal.Write("flash/area1.bin", OldArea());
  const fs::path logoBin = terminal / "SDMMC DISK/logo.bin";
  // Linked after the start, which would take a logo.bin for a completed change.
  const PlayResult run = PlayWithActionAfter(terminal, "open,convert", "01-open.png",
                                             [&] { fs::create_symlink("/dev/full", logoBin); });
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(MessageAt(run.transcript, 1), Escaped(kMsgUsable));
  EXPECT_EQ(MessageAt(run.transcript, 2), Escaped(kMsgLogoChangeFailed));
  EXPECT_EQ(Describe(terminal / "flash/area1.bin"), kOldLogoWhole);
  EXPECT_EQ(fs::symlink_status(logoBin).type(), fs::file_type::not_found);
  EXPECT_EQ(fs::status("/dev/full").type(), fs::file_type::character);
}

TEST(FullCard, ACardTooSmallForLogoBinIsReportedAndLeavesAreaOneAndNoFile) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  terminal.Write("flash/area1.bin", OldArea());
  // Room for logo.bmp (1,152,054 bytes) and less than a third of logo.bin.
  const MountedRun run = PlayOnMountedCard(terminal,
                                           "cp \"$card/logo.bmp\" \"$1/card-logo.bmp\" &&\n"
                                           "mount -t tmpfs -o size=1600k bramble-card \"$card\" || exit 77\n"
                                           "cp \"$1/card-logo.bmp\" \"$card/logo.bmp\" || exit 1",
                                           "open,convert");
  if (run.skipReason) GTEST_SKIP() << *run.skipReason;
  ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(MessageAt(run.result.transcript, 1), Escaped(kMsgUsable));
  EXPECT_EQ(MessageAt(run.result.transcript, 2), Escaped(kMsgLogoChangeFailed));
  EXPECT_EQ(run.cardAfter, "logo.bmp\n");
  EXPECT_EQ(Describe(terminal / "flash/area1.bin"), kOldLogoWhole);
}

TEST(WriteProtectedCard, ConvertAndResetAreReportedAndChangeNothing) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal, "ZZ100");  // a model whose reset empties startup.raw on the card
  terminal.Write("flash/area1.bin", OldArea());
  terminal.WriteText("SDMMC DISK/startup.raw", "an old startup image");
  const MountedRun run = PlayOnMountedCard(
      terminal, "mount --bind \"$card\" \"$card\" && mount -o remount,bind,ro \"$card\" || exit 77", "open,convert,reset");
  if (run.skipReason) GTEST_SKIP() << *run.skipReason;
  ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(MessageAt(run.result.transcript, 1), Escaped(kMsgUsable));
  EXPECT_EQ(MessageAt(run.result.transcript, 2), Escaped(kMsgLogoChangeFailed));
  EXPECT_EQ(MessageAt(run.result.transcript, 3), Escaped(kMsgDefaultRestoreFailed));
  EXPECT_EQ(run.cardAfter, "logo.bmp\nstartup.raw\n");
  EXPECT_EQ(ReadText(terminal / "SDMMC DISK/startup.raw"), "an old startup image");
  EXPECT_EQ(Describe(terminal / "flash/area1.bin"), kOldLogoWhole);
}

TEST(RefusingDriver, EachRefusedSectorIsReportedNamedAndNeverTakenForAChange) {
  struct Case {
    const char* faults;
    const char* failureLine;
    std::string areaAfter;
  };
  const Case cases[] = {
      // Refused before anything was erased: the older logo stays whole.
      {"1 0\n", "Area(1) Write Error : SectorAddr:0,", kOldLogoWhole},
      {"# a worn block\n1 1500\n", "Area(1) Write Error : SectorAddr:5dc,", "data 0-1499, erased 1500-3000"},
      {"1 3000\n", "Area(1) Write Error : SectorAddr:bb8,", "data 0-2999, erased 3000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    TempTerminal terminal;
    MakeReadyTerminal(terminal);
    terminal.Write("flash/area1.bin", OldArea());
    terminal.WriteText("flash/faults", c.faults);
    const PlayResult run = Play(terminal, "open,convert");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(MessageAt(run.transcript, 2), Escaped(kMsgLogoChangeFailed));
    EXPECT_NE(run.err.find(c.failureLine), std::string::npos) << run.err;
    EXPECT_EQ(Describe(terminal / "flash/area1.bin"), c.areaAfter);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(kMsgOpenImagePrompt));
  }
}

TEST(MissingDriver, ConvertIsReportedAndNoDriverFolderAppears) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  fs::remove_all(terminal / "flash");
  const PlayResult run = Play(terminal, "open,convert");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(MessageAt(run.transcript, 2), Escaped(kMsgLogoChangeFailed));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
  EXPECT_FALSE(fs::exists(terminal / "flash"));
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(kMsgOpenImagePrompt));
}

TEST(CardRemoved, AfterOpenConvertAndResetSayWhatIsMissing) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal, "ZZ100");  // its reset needs the card
  terminal.Write("flash/area1.bin", OldArea());
  const PlayResult run = PlayWithActionAfter(terminal, "open,convert,reset", "01-open.png",
                                             [&] { fs::remove_all(terminal / "SDMMC DISK"); });
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(MessageAt(run.transcript, 1), Escaped(kMsgUsable));
  EXPECT_EQ(MessageAt(run.transcript, 2), Escaped(kMsgCannotConvert));
  EXPECT_EQ(MessageAt(run.transcript, 3), Escaped(kMsgNoSdCard));
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK"));
  EXPECT_EQ(Describe(terminal / "flash/area1.bin"), kOldLogoWhole);
}

TEST(KilledWhileProgramming, AreaOneHoldsPartOfTheNewLogoAndNoMarkerAndTheNextConvertCompletes) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  terminal.Write("flash/area1.bin", OldArea());
  const fs::path traceFile = terminal / "flash/trace.log";
  const fs::path areaFile = terminal / "flash/area1.bin";
  {
    // The driver writes its trace line after each sector; through a pipe the test
    // reads slowly, the program cannot run more than a page of lines ahead.
    fs::remove(traceFile);
    Fifo trace(traceFile);
    ASSERT_TRUE(trace.Ready());
    const fs::path out = FreshOutFolder(terminal);
    Process program(PlayArguments(terminal, "open,convert", out), out / "stderr.txt");
    std::string lines;
    const auto enough = [](const std::string& data) { return std::count(data.begin(), data.end(), '\n') > 500; };
    ASSERT_EQ(trace.ReadUntil(lines, enough), Fifo::Outcome::kEnough);
    program.Signal(SIGKILL);
    ASSERT_EQ(program.Wait(), 128 + SIGKILL);
    EXPECT_EQ(trace.ReadToEnd(lines), Fifo::Outcome::kWriterGone);
  }

  const std::vector<std::byte> logoBin = ReadFileBytes(terminal / "SDMMC DISK/logo.bin");
  ASSERT_EQ(logoBin.size(), kLogoBinBytes);
  const std::vector<std::byte> area = ReadFileBytes(areaFile);
  const std::size_t written = area.size() / kSector;
  ASSERT_GT(written, 500u);
  ASSERT_LT(written, kMarkerSector);
  EXPECT_EQ(area.size() % kSector, 0u);
  EXPECT_TRUE(std::equal(area.begin(), area.end(), logoBin.begin())) << "the written sectors are not the new logo";
  EXPECT_EQ(Describe(areaFile),
            "data 0-" + std::to_string(written - 1) + ", erased " + std::to_string(written) + "-3000");

  fs::remove(traceFile);
  terminal.WriteText("flash/trace.log", "");
  const PlayResult later = Play(terminal, "open,convert");
  ASSERT_EQ(later.exitCode, 0) << later.err;
  EXPECT_EQ(MessageAt(later.transcript, 2), Escaped(kMsgLogoChanged));
  EXPECT_EQ(Describe(areaFile), "data 0-2999, marker 3000");
  const std::vector<std::byte> programmed = ReadFileBytes(areaFile);
  EXPECT_TRUE(std::equal(logoBin.begin(), logoBin.end(), programmed.begin()));
  EXPECT_EQ(CountLines(traceFile), 3002);
}

}  // namespace
