// Faults a user's terminal meets, met by the real program started as a script
// starts it: a full card, a driver that refuses sectors, a card pulled out
// between two clicks, a program killed while it programs. The user must be told,
// and no logo may be lost or half replaced. (A missing driver fails the writer as
// a refused first sector does: tests/flash and tests/platform.)

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "tests/support/play_run.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace text = bramble::test::text;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSector = 512;
constexpr std::size_t kMarkerSector = 3000;
constexpr auto kOldFill = std::byte{0xA5};
const std::string kOldLogoWhole = "old 0-2999, marker 3000";

// The reading end of a named pipe the program writes into. Its buffer is cut to
// one page, so a writer the test does not read from stops after a few kilobytes:
// the test, not the scheduler, decides how far the program gets.
class Fifo {
 public:
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

  // Appends what arrives to `data` until `enough(data)`, the writer closes its end
  // or a minute passes; true in the first case.
  bool ReadUntil(std::string& data, const std::function<bool(const std::string&)>& enough) {
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    char buffer[4096];
    while (!enough(data) && !m_writerGone && Clock::now() < deadline) {
      pollfd ready{m_fd, POLLIN, 0};
      // A pipe no writer has opened yet reports nothing, so this waits for the program.
      if (::poll(&ready, 1, 100) <= 0) continue;
      const ssize_t got = (ready.revents & POLLIN) ? ::read(m_fd, buffer, sizeof buffer) : 0;
      if (got > 0) data.append(buffer, static_cast<std::size_t>(got));
      m_writerGone = got <= 0 && (ready.revents & POLLHUP);
    }
    return enough(data);
  }
  // True when the writer closed its end within a minute.
  bool ReadToEnd(std::string& data) {
    ReadUntil(data, [](const std::string&) { return false; });
    return m_writerGone;
  }

 private:
  int m_fd = -1;
  int m_capacity = 0;
  bool m_writerGone = false;
};

// An older logo, complete with its end marker, as an earlier change left it.
std::vector<std::byte> OldArea() {
  std::vector<std::byte> area(kMarkerSector * kSector, kOldFill);
  const std::vector<std::byte> marker = EndMarker();
  area.insert(area.end(), marker.begin(), marker.end());
  return area;
}

// Area 1 sector by sector as runs of "old" (the older logo's data), "marker",
// "erased" and "data" (anything else): "data 0-1499, erased 1500-3000".
std::string Describe(const fs::path& areaFile) {
  std::vector<std::byte> area = ReadFileBytes(areaFile);
  area.resize((kMarkerSector + 1) * kSector, std::byte{0xFF});  // past the file's end: erased flash
  const auto kind = [&area](std::size_t s) -> std::string {
    const std::span sector(area.data() + s * kSector, kSector);
    const auto all = [&sector](std::byte b) { return std::ranges::count(sector, b) == std::ptrdiff_t{kSector}; };
    return std::ranges::equal(sector, EndMarker()) ? "marker" : all(std::byte{0xFF}) ? "erased" : all(kOldFill) ? "old" : "data";
  };
  std::string runs;
  for (std::size_t s = 0, end = 0; s <= kMarkerSector; s = end) {
    for (end = s + 1; end <= kMarkerSector && kind(end) == kind(s);) ++end;
    runs += (runs.empty() ? "" : ", ") + kind(s) + " " + std::to_string(s) + (end - 1 > s ? "-" + std::to_string(end - 1) : "");
  }
  return runs;
}

TEST(CardChangedBetweenClicks, IsReportedAndAreaOneKeepsTheOlderLogo) {
  struct Case {
    const char* what;
    const char* model;
    const char* steps;
    std::function<void(const TempTerminal&)> between;
    std::vector<const char16_t*> messages;
    const char* gone;
    const char* box;  // in the last step's block, followed by the repaint its closing causes
  };
  const Case cases[] = {
      // Linked after the start, which would take a logo.bin for a completed change.
      {"logo.bin on a full device", "QX210", "open,convert",
       [](const TempTerminal& t) { fs::create_symlink("/dev/full", t / "SDMMC DISK/logo.bin"); },
       {text::kUsable, text::kLogoChangeFailed}, "SDMMC DISK/logo.bin", nullptr},
      // Written, but no file to read back: the flash writer's file error.
      {"logo.bin a device", "QX210", "open,convert",
       [](const TempTerminal& t) { fs::create_symlink("/dev/null", t / "SDMMC DISK/logo.bin"); },
       {text::kUsable, text::kUsable}, "SDMMC DISK/logo.bin", "\\\\SDMMC DISK\\\\logo.bin was not found."},
      // A model whose reset needs the card.
      {"card removed", "ZZ100", "open,convert,reset", [](const TempTerminal& t) { fs::remove_all(t / "SDMMC DISK"); },
       {text::kUsable, text::kCannotConvert, text::kNoSdCard}, "SDMMC DISK", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempTerminal terminal;
    MakeReadyTerminal(terminal, c.model);
    terminal.Write("flash/area1.bin", OldArea());
    // The program is held once it has recorded the open: it writes that step's
    // picture into a pipe smaller than the picture.
    const fs::path out = FreshOutFolder(terminal);
    Fifo picture(out / "01-open.png");
    ASSERT_TRUE(picture.Ready());
    Program program = StartPlay(terminal, c.steps, out);
    std::string png;
    ASSERT_TRUE(picture.ReadUntil(png, [](const std::string& data) { return !data.empty(); })) << "no open";
    c.between(terminal);
    EXPECT_TRUE(picture.ReadToEnd(png));
    const PlayResult run = Finish(program, out);
    ExpectMessages(run, c.messages);
    if (c.box) {
      EXPECT_NE(run.transcript.find("box: " + std::string(c.box) + "\nmessage: "), std::string::npos) << run.transcript;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(terminal / c.gone)));
    EXPECT_EQ(Describe(terminal / "flash/area1.bin"), kOldLogoWhole);
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(RefusingDriver, AFailedProgrammingIsReportedNamedAndNeverTakenForAChange) {
  const std::tuple<const char*, const char*, std::string> cases[] = {  // the faults list, what it says, area 1 after
      // Refused before anything was erased: the older logo stays whole.
      {"1 0\n", "Area(1) Write Error : SectorAddr:0,", kOldLogoWhole},
      {"1 1500\n", "Area(1) Write Error : SectorAddr:5dc,", "data 0-1499, erased 1500-3000"},
      {"1 3000\n", "Area(1) Write Error : SectorAddr:bb8,", "data 0-2999, erased 3000"},
  };
  for (const auto& [faults, failureLine, areaAfter] : cases) {
    SCOPED_TRACE(faults);
    TempTerminal terminal;
    MakeReadyTerminal(terminal);
    terminal.Write("flash/area1.bin", OldArea());
    terminal.WriteText("flash/faults", faults);
    const PlayResult run = Play(terminal, "open,convert");
    ExpectMessages(run, {text::kUsable, text::kLogoChangeFailed});
    EXPECT_NE(run.err.find(failureLine), std::string::npos) << run.err;
    EXPECT_EQ(Describe(terminal / "flash/area1.bin"), areaAfter);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    // The refusal came during the programming: the next start says it did not complete.
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kLogoChangeNotCompleted));
  }
}

TEST(KilledWhileProgramming, TheNextStartSaysTheChangeDidNotCompleteAndAConvertThenCompletes) {
  // The steps, and the logo.bin the writer sends.
  for (const auto& [steps, programmed] :
       {std::pair{"open,convert", "SDMMC DISK/logo.bin"}, {"reset", "ResidentFlash/System/logo.bin"}}) {
    SCOPED_TRACE(steps);
    TempTerminal terminal;
    MakeReadyTerminal(terminal);  // a listed model: Reset logo programs the default logo
    terminal.Write("flash/area1.bin", OldArea());
    const fs::path traceFile = terminal / "flash/trace.log", areaFile = terminal / "flash/area1.bin";
    {
      // The driver writes its trace line after each sector; through a pipe the test
      // reads slowly, the program cannot run more than a page of lines ahead.
      fs::remove(traceFile);
      Fifo trace(traceFile);
      ASSERT_TRUE(trace.Ready());
      const fs::path out = FreshOutFolder(terminal);
      Program program = StartPlay(terminal, steps, out);
      std::string lines;
      const auto enough = [](const std::string& data) { return std::ranges::count(data, '\n') > 1000; };
      ASSERT_TRUE(trace.ReadUntil(lines, enough));
      program.Kill();
      ASSERT_EQ(program.Wait(), 128 + SIGKILL);
      EXPECT_TRUE(trace.ReadToEnd(lines));
    }
    const std::vector<std::byte> logoBin = ReadFileBytes(terminal / programmed);
    ASSERT_EQ(logoBin.size(), 1536000u);
    const std::vector<std::byte> area = ReadFileBytes(areaFile);
    ASSERT_TRUE(area.size() > 1000 * kSector && area.size() < kMarkerSector * kSector && area.size() % kSector == 0);
    EXPECT_TRUE(std::equal(area.begin(), area.end(), logoBin.begin())) << "the written sectors are not the new logo";
    EXPECT_TRUE(fs::exists(terminal / "ResidentFlash/System/logo.pending"));

    // Not a completed change, whatever logo.bin lies on the card; told once, as
    // the mark and logo.bin go.
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kLogoChangeNotCompleted));
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kOpenImagePrompt));

    fs::remove(traceFile);  // a pipe no one reads
    ExpectMessages(Play(terminal, "open,convert"), {text::kUsable, text::kLogoChanged});
    EXPECT_EQ(Describe(areaFile), "data 0-2999, marker 3000");
  }
}

}  // namespace
