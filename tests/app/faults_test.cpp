// Faults a user's terminal meets, met by the real program started as a script
// starts it: a full card, a driver that refuses sectors, a card pulled out
// between two clicks. The user must be told, and no logo may be lost or half
// replaced. (A missing driver fails the writer as a refused first sector does:
// tests/flash and tests/platform. Interruptions: interruption_test.cpp.)

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/play_run.h"
#include "tests/support/program_faults.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace text = bramble::test::text;
namespace fs = std::filesystem;

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
    EXPECT_EQ(DescribeArea(terminal / "flash/area1.bin"), kOldLogoWhole);
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
    EXPECT_EQ(DescribeArea(terminal / "flash/area1.bin"), areaAfter);
    EXPECT_FALSE(fs::exists(terminal / "SDMMC DISK/logo.bin"));
    // The refusal came during the programming: the next start says it did not complete.
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(text::kLogoChangeNotCompleted));
  }
}

}  // namespace
