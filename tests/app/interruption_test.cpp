// A change of logo interrupted wherever the program touches the terminal's
// storage: killed, as a power cut stops it, as it enters any call on the
// terminal's files (strace injects the signal), a logo.bin cut short under the
// writer, a request trace that no one reads, a second program on the same
// terminal. Afterwards the next start says a new logo was applied only when area
// 1 holds it whole, and the same steps then program it whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <regex>

#include "tests/support/play_run.h"
#include "tests/support/program_faults.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// One call of the program on the terminal's files: the `occurrence`-th call of
// `name` that it made, as strace counts them for injection.
struct Call {
  std::string name;
  int occurrence = 0;
  std::string line;  // as strace wrote it
};

// Everything that a change and a start touch, and nothing of the toolkit's.
const char* const kWatched[] = {"bramble.lock", "registry.reg", "SDMMC DISK", "SDMMC DISK/logo.bmp",
                                "SDMMC DISK/logo.bin", "SDMMC DISK/startup.raw", "ResidentFlash/System",
                                "ResidentFlash/System/logo.pending", "ResidentFlash/System/logo.bmp",
                                "ResidentFlash/System/logo.bin", "ResidentFlash/System/info.txt", "flash",
                                "flash/area1.bin", "flash/dsk1.lock"};

// bramble --play under strace, which writes the calls on the watched files to
// `log`; with `inject` ("CALL:signal=KILL:when=N", "CALL:error=EIO:when=N") that
// call fails or kills the program as it enters it.
PlayResult PlayTraced(const TempTerminal& terminal, const std::string& steps, const fs::path& log,
                      const std::string& inject = "") {
  // LeakSanitizer cannot look at a program that strace holds: a sanitized build's
  // leaks are left to its runs without strace.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::vector<std::string> argv = {"env", "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0",
                                   "strace", "-f", "-qq", "-y", "-o", log.string()};
  for (const char* watched : kWatched) argv.insert(argv.end(), {"-P", (terminal / watched).string()});
  if (!inject.empty()) argv.insert(argv.end(), {"-e", "inject=" + inject});
  const fs::path out = FreshOutFolder(terminal);
  argv.insert(argv.end(), {kBramble.string(), "--root", terminal.root().string(), "--play", steps, "--out", out.string()});
  Program program(argv, "/dev/null", out / "stderr.txt", 60);  // a hang fails well within CI's patience
  return Finish(program, out);
}

// The program's own calls ("8179  openat(AT_FDCWD, ...) = 7"), numbered per name.
std::vector<Call> ReadCalls(const fs::path& log) {
  static const std::regex kCall(R"((\d+) +(([a-z0-9_]+)\(.*))");  // not "+++ killed", "--- SIGCHLD", "<... resumed>"
  std::vector<Call> calls;
  std::map<std::string, int> seen;
  std::string program;
  for (const std::string& line : ReadLines(log)) {
    std::smatch call;
    if (!std::regex_match(line, call, kCall)) continue;
    if (program.empty()) program = call[1].str();
    if (call[1] == program) calls.push_back({call[3].str(), ++seen[call[3].str()], call[2].str()});
  }
  return calls;
}

// The kill points: every call when BRAMBLE_KILL_SWEEP=all. Otherwise only the
// calls that change what is stored: a kill as the program enters a call that only
// looks (a stat, a read, an open for reading, a close) ends as one at the next
// call that changes something. Of the many writes of rows and sectors, every few
// hundredth, the first and the last.
std::vector<Call> KillPoints(const std::vector<Call>& calls) {
  const char* sweep = std::getenv("BRAMBLE_KILL_SWEEP");
  if (sweep && std::string(sweep) == "all") return calls;
  const int spread = kSanitized ? 3 : 1;  // a sanitized program is slower: fewer of the bulk writes
  const std::map<std::string, int> changes = {{"openat", 1}, {"fsync", 1},           {"ftruncate", 1},
                                              {"unlink", 1}, {"rename", 1},          {"write", 100 * spread},
                                              {"pwrite64", 300 * spread}};
  std::map<std::string, int> last;
  for (const Call& call : calls) last[call.name] = call.occurrence;
  std::vector<Call> points;
  for (const Call& call : calls) {
    const auto stride = changes.find(call.name);
    const bool opensToRead = call.line.find("O_WRONLY") == std::string::npos && call.line.find("O_RDWR") == std::string::npos;
    if (stride == changes.end() || (call.name == "openat" && opensToRead)) continue;
    if (stride->second == 1 || call.occurrence % stride->second == 1 || call.occurrence == last[call.name])
      points.push_back(call);
  }
  return points;
}

void CopyTerminal(const TempTerminal& from, const TempTerminal& to) {
  fs::copy(from.root(), to.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// What one change must leave: its area 1, and the text that says it is done.
struct Change {
  const char* name;
  std::string steps;
  const char16_t* done;
  std::vector<std::byte> area;  // as the steps leave it when nothing interrupts them
  const char* model = "QX210";  // listed: Reset logo programs the default logo
  bool startupImage = false;    // the change empties startup.raw and leaves area 1 alone
};

// Whether the terminal holds what `change` makes, whole.
bool Holds(const TempTerminal& terminal, const Change& change) {
  const fs::path startup = terminal / "SDMMC DISK/startup.raw";
  return (!change.startupImage || (fs::is_regular_file(startup) && fs::is_empty(startup))) &&
         ReadFileBytes(terminal / "flash/area1.bin") == change.area;
}
void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }  // a test name that stays the same

// After an interruption: the next start claims an applied logo only over the
// whole of it, and the same steps then complete and program it exactly.
void ExpectTruthfulRecovery(const TempTerminal& terminal, const Change& change, const std::string& where) {
  SCOPED_TRACE(where);
  const bool whole = Holds(terminal, change);
  const std::string area = DescribeArea(terminal / "flash/area1.bin");
  const PlayResult retry = Play(terminal, change.steps);
  const std::string start = MessageAt(retry.transcript, 0);
  EXPECT_TRUE(start == Escaped(text::kOpenImagePrompt) || start == Escaped(text::kLogoChangeNotCompleted) ||
              (start == Escaped(text::kAlreadyApplied) && whole))
      << start << "\narea 1: " << area;
  EXPECT_EQ(MessageAt(retry.transcript, static_cast<int>(std::ranges::count(change.steps, ',') + 1)), Escaped(change.done));
  EXPECT_TRUE(Holds(terminal, change));
}

// A ready terminal whose area 1 holds an older logo, and the area `change`
// leaves on it when nothing interrupts it.
Change Prepare(const TempTerminal& ready, Change change) {
  MakeReadyTerminal(ready, change.model);
  ready.Write("flash/area1.bin", OldArea());
  ready.WriteText("SDMMC DISK/startup.raw", "an earlier startup image");
  fs::remove(ready / "flash/trace.log");  // its lines would only be more kill points
  TempTerminal clean;
  CopyTerminal(ready, clean);
  EXPECT_EQ(Play(clean, change.steps).exitCode, 0);
  EXPECT_EQ(DescribeArea(clean / "flash/area1.bin"), change.startupImage ? kOldLogoWhole : "data 0-2999, marker 3000");
  change.area = ReadFileBytes(clean / "flash/area1.bin");
  return change;
}

// The file a traced call works on: its descriptor's ("read(7</t/x>, ...") or the
// one it names ("newfstatat(AT_FDCWD</t>, "/t/x", ...").
std::string Target(const Call& call) {
  const std::size_t open = call.line.find('(');
  if (call.line.compare(open + 1, 8, "AT_FDCWD") == 0 || call.line[open + 1] == '"') {
    const std::size_t quote = call.line.find('"', open);
    return call.line.substr(quote, call.line.find('"', quote + 1) - quote);
  }
  const std::size_t from = call.line.find('<', open);
  return from == std::string::npos ? "" : call.line.substr(from, call.line.find('>', from) - from);
}

// The error points, by the calls of one name on one file: every call of each but
// every hundredth of the rows and sectors when BRAMBLE_ERROR_SWEEP=all; otherwise
// the first two and the last (a sanitized program, slower: the first).
std::vector<Call> ErrorPoints(const std::vector<Call>& calls) {
  const char* sweep = std::getenv("BRAMBLE_ERROR_SWEEP");
  const bool all = sweep && std::string(sweep) == "all";
  std::map<std::string, std::vector<const Call*>> sites;
  for (const Call& call : calls) sites[call.name + " " + Target(call)].push_back(&call);
  std::vector<Call> points;
  for (const auto& [site, list] : sites) {
    const std::size_t few = all ? 20 : kSanitized ? 1 : 2;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (i < few || (!kSanitized && i + 1 == list.size()) || (all && i % 100 == 0)) points.push_back(*list[i]);
  }
  return points;
}

enum class Fault { kKill, kError };
void PrintTo(Fault fault, std::ostream* out) { *out << (fault == Fault::kKill ? "kill" : "I/O error"); }

// Each call to fail, with how: killed at the kill points; at the error points
// failed with EIO, and where it writes with a full disk too.
std::vector<std::pair<Call, std::string>> Injections(const std::vector<Call>& calls, Fault fault) {
  std::vector<std::pair<Call, std::string>> injections;
  for (const Call& call : fault == Fault::kKill ? KillPoints(calls) : ErrorPoints(calls)) {
    injections.emplace_back(call, fault == Fault::kKill ? "signal=KILL" : "error=EIO");
    const bool writes = call.name == "write" || call.name == "pwrite64" || call.name == "ftruncate" ||
                        call.name == "fsync" || (call.name == "openat" && call.line.find("O_CREAT") != std::string::npos);
    if (fault == Fault::kError && writes) injections.emplace_back(call, "error=ENOSPC");
  }
  return injections;
}

// Plays `steps` on copies of `state` (whose run makes at least `fewest` calls on
// the watched files) with each injection in turn. A kill or a failed call never
// ends in a crash or a hang, nor in a text that claims `change` (or an applied
// logo) unless the terminal holds it whole; and the next start and a retry are
// truthful and complete. Returns the number of injections tried.
std::size_t Sweep(const TempTerminal& state, const std::string& steps, const Change& change, Fault fault,
                  std::size_t fewest) {
  TempTerminal recorded;
  CopyTerminal(state, recorded);
  EXPECT_EQ(PlayTraced(recorded, steps, recorded / "calls.log").exitCode, 0);
  const std::vector<Call> calls = ReadCalls(recorded / "calls.log");
  EXPECT_GE(calls.size(), fewest);
  const auto injections = Injections(calls, fault);
  for (const auto& [point, what] : injections) {
    TempTerminal terminal;
    CopyTerminal(state, terminal);
    const std::string where = what + " at " + std::to_string(point.occurrence) + ". " + point.line;
    const std::string injection = point.name + ":" + what + ":when=" + std::to_string(point.occurrence);
    const PlayResult run = PlayTraced(terminal, steps, terminal / "injected.log", injection);
    if (fault == Fault::kKill) EXPECT_EQ(run.exitCode, 128 + SIGKILL) << where;
    else EXPECT_LT(run.exitCode, 128) << where << "\n" << run.err;
    const bool holds = Holds(terminal, change);
    for (int block = 0; block <= static_cast<int>(std::ranges::count(steps, ',')) + 1; ++block) {
      const std::string message = MessageAt(run.transcript, block);
      EXPECT_TRUE(holds || (message != Escaped(change.done) && message != Escaped(text::kAlreadyApplied)))
          << where << "\nstep " << block << ": " << message << "\narea 1: " << DescribeArea(terminal / "flash/area1.bin");
    }
    ExpectTruthfulRecovery(terminal, change, where);
  }
  return injections.size();
}

class FaultSweep : public testing::TestWithParam<std::tuple<Change, Fault>> {};
// "ConvertKillSweep": the same from build to build, and found by -R KillSweep.
std::string SweepName(const testing::TestParamInfo<std::tuple<Change, Fault>>& info) {
  return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == Fault::kKill ? "KillSweep" : "ErrorSweep");
}

TEST_P(FaultSweep, AKillOrAnIoErrorAtAnyCallOfAChangeIsAFailureOrTheWholeChange) {
  const auto& [of, fault] = GetParam();
  TempTerminal ready;
  const Change change = Prepare(ready, of);
  // A change of area 1 makes 3,001 sector requests and as many reads of logo.bin.
  RecordProperty("injections", static_cast<int>(Sweep(ready, change.steps, change, fault, change.startupImage ? 10 : 6002)));
}

INSTANTIATE_TEST_SUITE_P(Of, FaultSweep,
                         testing::Combine(testing::Values(Change{"Convert", "open,convert", text::kLogoChanged, {}},
                                                          Change{"ResetLogo", "reset", text::kDefaultRestored, {}},
                                                          Change{"ResetLogoUnlisted", "reset", text::kDefaultRestored,
                                                                 {}, "ZZ999", true}),
                                          testing::Values(Fault::kKill, Fault::kError)),
                         SweepName);

// The start that follows a change, killed or failed at each of its calls (at
// least: the mark and logo.bin looked for, logo.bin and the mark deleted): after a
// change that was cut short, and killed after one that completed.
TEST(NextStart, AKillOrAnIoErrorAtAnyCallOfTheStartAfterAChangeIsToldTruthfully) {
  TempTerminal ready;
  const Change change = Prepare(ready, {"Convert", "open,convert", text::kLogoChanged, {}});
  TempTerminal cutShort, completed;
  CopyTerminal(ready, cutShort);
  ASSERT_EQ(PlayTraced(cutShort, change.steps, cutShort / "kill.log", "pwrite64:signal=KILL:when=1500").exitCode,
            128 + SIGKILL);
  CopyTerminal(ready, completed);
  ASSERT_EQ(Play(completed, change.steps).exitCode, 0);
  const std::size_t injections = Sweep(cutShort, "", change, Fault::kKill, 4) +
                                  Sweep(completed, "", change, Fault::kKill, 4) +
                                  Sweep(cutShort, "", change, Fault::kError, 4);
  RecordProperty("injections", static_cast<int>(injections));
}

TEST(Interruptions, ALogoBinCutShortWhileItIsProgrammedIsAFailedChange) {
  ReadyTerminal terminal;
  terminal.Write("flash/area1.bin", OldArea());
  Fifo trace(terminal / "flash/trace.log");
  ASSERT_TRUE(trace.Ready());
  const fs::path out = FreshOutFolder(terminal);
  Program program = StartPlay(terminal, "open,convert", out);
  std::string lines;
  ASSERT_TRUE(trace.ReadLines(lines, 1000));  // the writer is held a page of lines further on
  fs::resize_file(terminal / "SDMMC DISK/logo.bin", 2000 * kSector + 100);
  EXPECT_TRUE(trace.ReadToEnd(lines));
  const PlayResult run = Finish(program, out);
  ExpectMessages(run, {text::kUsable, text::kLogoChangeFailed});
  EXPECT_NE(run.err.find("Area(1) Read Error : SectorAddr:7d0,"), std::string::npos) << run.err;
  EXPECT_EQ(DescribeArea(terminal / "flash/area1.bin"), "data 0-1999, erased 2000-3000");
  EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
  EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kLogoChangeNotCompleted));
}

TEST(Interruptions, ATraceThatNoOneReadsNeverHoldsTheProgram) {
  for (const bool readerLeaves : {false, true}) {
    SCOPED_TRACE(readerLeaves ? "a reader that leaves after five lines" : "no reader");
    ReadyTerminal terminal;
    Fifo reader(terminal / "flash/trace.log");
    ASSERT_TRUE(reader.Ready());
    if (!readerLeaves) reader.Close();  // a FIFO that no one ever reads
    const fs::path out = FreshOutFolder(terminal);
    Program program = StartPlay(terminal, "open,convert", out, {}, 30);  // well within the bound a hung program meets
    if (readerLeaves) {
      std::string lines;
      ASSERT_TRUE(reader.ReadLines(lines, 5));
      reader.Close();
    }
    ExpectMessages(Finish(program, out), {text::kUsable, text::kLogoChanged});
    EXPECT_EQ(DescribeArea(terminal / "flash/area1.bin"), "data 0-2999, marker 3000");
  }
}

// Every file of the terminal folder but the test's own outputs and what the first
// program goes on writing until the trace's pipe is full (area 1 and the trace),
// with its bytes.
std::map<std::string, std::string> Snapshot(const TempTerminal& terminal) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(terminal.root())) {
    const std::string relative = fs::relative(entry.path(), terminal.root()).string();
    if (relative.starts_with("out-") || relative == "flash/area1.bin" || relative == "flash/trace.log") continue;
    files[relative] = entry.is_regular_file() ? ReadText(entry.path()) : "(not a file)";
  }
  return files;
}

TEST(OneProgramPerTerminal, ASecondProgramChangesNothingAndTheFirstCompletes) {
  TempTerminal terminal;
  const Change change = Prepare(terminal, {"Convert", "open,convert", text::kLogoChanged, {}});
  Fifo trace(terminal / "flash/trace.log");
  ASSERT_TRUE(trace.Ready());
  const fs::path out = FreshOutFolder(terminal);
  Program first = StartPlay(terminal, "open,convert", out);
  std::string lines;
  ASSERT_TRUE(trace.ReadLines(lines, 1000));  // held in the middle of programming

  const auto before = Snapshot(terminal);
  const PlayResult second = Play(terminal, "open,convert");
  EXPECT_EQ(std::tuple(second.exitCode, second.err, second.transcript),
            std::tuple(1, "bramble: another Bramble runs on the terminal " + terminal.root().string() + "\n", ""));
  EXPECT_TRUE(Snapshot(terminal) == before);

  EXPECT_TRUE(trace.ReadToEnd(lines));
  // Its bytes are the launcher test's concern.
  ExpectMessages(Finish(first, out), {text::kUsable, text::kLogoChanged});
  // Whole, byte for byte: a second program that had erased or written it meanwhile shows here.
  EXPECT_TRUE(ReadFileBytes(terminal / "flash/area1.bin") == change.area) << DescribeArea(terminal / "flash/area1.bin");
}


// A lock file that is a link, or a file of something else, is never written nor
// created through: the program that would take it refuses, and the link's target
// stays as it was (or missing).
TEST(OneProgramPerTerminal, ALockFileThatIsALinkOrNoLockIsRefusedAndWhatItLeadsToIsKept) {
  ReadyTerminal terminal;
  const fs::path victim = terminal / "out-victim.txt", nowhere = terminal / "out-nowhere";
  terminal.WriteText("out-victim.txt", "precious\n");
  const std::string refused = "bramble: cannot claim the terminal " + terminal.root().string();
  for (const bool dangling : {false, true}) {
    fs::create_symlink(dangling ? nowhere : victim, terminal / "bramble.lock");
    const PlayResult run = Play(terminal, "open,convert");
    EXPECT_EQ(std::tuple(run.exitCode, run.err.starts_with(refused)), std::tuple(2, true)) << run.err;
    fs::remove(terminal / "bramble.lock");
  }
  terminal.WriteText("bramble.lock", "precious\n");  // not an id: no file of ours
  EXPECT_EQ(Play(terminal, "open,convert").exitCode, 2);
  EXPECT_EQ(std::tuple(ReadText(victim), ReadText(terminal / "bramble.lock"), fs::exists(nowhere)),
            std::tuple("precious\n", "precious\n", false));
  fs::remove(terminal / "bramble.lock");

  // The driver's lock behind a dangling link: the flash cannot be opened, nothing is made.
  fs::create_symlink(nowhere, terminal / "flash/dsk1.lock");
  ExpectMessages(Play(terminal, "open,convert"), {text::kUsable, text::kLogoChangeFailed});
  EXPECT_FALSE(fs::exists(nowhere));
  EXPECT_FALSE(fs::exists(terminal / "flash/area1.bin"));
}

}  // namespace
