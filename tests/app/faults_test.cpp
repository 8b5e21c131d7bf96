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
namespace fs = std::filesystem;

TEST(Faults, AreToldNamedAndNeverTakenForAChange) {
  struct Case {
    const char* what;
    const char* model;
    const char* steps;
    const char* faults;                                 // the driver's list
    std::function<void(const TempTerminal&)> between;  // the card changed between two clicks
    std::vector<const char16_t*> messages;
    const char* said;  // in the transcript or on standard error
    const char* gone;
    std::string areaAfter;
    const char16_t* nextStart;
  };
  // Linked after the start, which would take a logo.bin for a completed change.
  const auto linked = [](const char* device) {
    return [device](const TempTerminal& t) { fs::create_symlink(device, t / "SDMMC DISK/logo.bin"); };
  };
  const std::vector<const char16_t*> failed = {text::kUsable, text::kLogoChangeFailed};
  const Case cases[] = {
      {"logo.bin on a full device", "QX210", "open,convert", nullptr, linked("/dev/full"), failed, nullptr,
       "SDMMC DISK/logo.bin", kOldLogoWhole, text::kOpenImagePrompt},
      // Written, but no file to read back: the flash writer's file error, in a box whose closing repaints.
      {"logo.bin a device", "QX210", "open,convert", nullptr, linked("/dev/null"), {text::kUsable, text::kUsable},
       "box: \\\\SDMMC DISK\\\\logo.bin was not found.\nmessage: ", "SDMMC DISK/logo.bin", kOldLogoWhole,
       text::kLogoChangeNotCompleted},
      // A model whose reset needs the card.
      {"card removed", "ZZ100", "open,convert,reset", nullptr, [](const TempTerminal& t) { fs::remove_all(t / "SDMMC DISK"); },
       {text::kUsable, text::kCannotConvert, text::kNoSdCard}, nullptr, "SDMMC DISK", kOldLogoWhole, text::kOpenImagePrompt},
      // Refused before anything was erased, the older logo stays whole; the first accepted sector erases it.
      {"sector 0 refused", "QX210", "open,convert", "1 0\n", {}, failed, "Area(1) Write Error : SectorAddr:0,",
       "SDMMC DISK/logo.bin", kOldLogoWhole, text::kLogoChangeNotCompleted},
      {"sector 3000 refused", "QX210", "open,convert", "1 3000\n", {}, failed, "Area(1) Write Error : SectorAddr:bb8,",
       "SDMMC DISK/logo.bin", "data 0-2999, erased 3000", text::kLogoChangeNotCompleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadyTerminal terminal(c.model);
    terminal.Write("flash/area1.bin", OldArea());
    if (c.faults) terminal.WriteText("flash/faults", c.faults);
    // The program is held once it has recorded the open: it writes that step's
    // picture into a pipe smaller than the picture.
    const fs::path out = FreshOutFolder(terminal);
    Fifo picture(out / "01-open.png");
    ASSERT_TRUE(picture.Ready());
    Program program = StartPlay(terminal, c.steps, out);
    std::string png;
    ASSERT_TRUE(picture.ReadUntil(png, [](const std::string& data) { return !data.empty(); })) << "no open";
    if (c.between) c.between(terminal);
    EXPECT_TRUE(picture.ReadToEnd(png));
    const PlayResult run = Finish(program, out);
    ExpectMessages(run, c.messages);
    EXPECT_TRUE(!c.said || (run.transcript + run.err).find(c.said) != std::string::npos) << run.transcript << run.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(terminal / c.gone)));
    EXPECT_EQ(DescribeArea(terminal / "flash/area1.bin"), c.areaAfter);
    EXPECT_EQ(MessageAt(Play(terminal, "").transcript, 0), Escaped(c.nextStart));
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace
