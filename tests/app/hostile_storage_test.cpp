// Files the program reads, as a hostile card or folder offers them: a folder, a
// FIFO, a device that never ends, a sparse file of 2 GB, a bitmap whose picture
// would take a gigabyte. Each is refused at once and the dialog says what it says
// for a file it cannot use.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/api/little_endian.h"
#include "tests/support/play_run.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;
namespace text = bramble::test::text;

enum class Hostile { kFolder, kFifo, kEndlessDevice, kSparse2G };

void Plant(const TempTerminal& terminal, const std::string& relative, Hostile kind) {
  const fs::path path = terminal / relative;
  fs::remove(path);
  fs::create_directories(path.parent_path());
  switch (kind) {
    case Hostile::kFolder: fs::create_directory(path); break;
    case Hostile::kFifo: ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); break;
    case Hostile::kEndlessDevice: fs::create_symlink("/dev/zero", path); break;
    case Hostile::kSparse2G:
      terminal.WriteText(relative, "");
      fs::resize_file(path, std::uintmax_t{2} << 30);
      break;
  }
}

struct Outcome {
  std::string transcript;
  long peakKilobytes;
};

Outcome PlayOn(const TempTerminal& terminal, const std::string& steps) {
  const fs::path out = FreshOutFolder(terminal);
  Program program = StartPlay(terminal, steps, out);
  EXPECT_EQ(program.Wait(), 0) << ReadText(out / "stderr.txt");
  return {ReadText(out / "transcript.txt"), program.PeakKilobytes()};
}

TEST(HostileStorage, EveryFileTheProgramReadsIsRefusedAtOnceWithItsFailureText) {
  struct Case {
    const char* file;
    const char* steps;
    std::vector<const char16_t*> messages;  // after the start
    const char* model = "QX210";
    const char* version = "V1.02";
  };
  const Case cases[] = {
      {"SDMMC DISK/logo.bmp", "open,convert", {text::kNotUsable, text::kCannotConvert}},
      {"ResidentFlash/System/logo.bmp", "reset", {text::kDefaultRestoreFailed}},
      {"flash/faults", "open,convert", {text::kUsable, text::kLogoChanged}},
      {"registry.reg", "open", {text::kUsable}, ""},
  };
  const Hostile kinds[] = {Hostile::kFolder, Hostile::kFifo, Hostile::kEndlessDevice, Hostile::kSparse2G};
  for (const Case& c : cases) {
    for (const Hostile kind : kinds) {
      SCOPED_TRACE(std::string(c.file) + " as kind " + std::to_string(static_cast<int>(kind)));
      TempTerminal terminal;
      MakeReadyTerminal(terminal);
      Plant(terminal, c.file, kind);
      const Outcome run = PlayOn(terminal, c.steps);
      for (std::size_t i = 0; i < c.messages.size(); ++i) {
        EXPECT_EQ(MessageAt(run.transcript, static_cast<int>(i + 1)), Escaped(c.messages[i]));
      }
      EXPECT_NE(run.transcript.find(std::string("model: ") + c.model + "\nversion: " + c.version + "\n"), std::string::npos);
      EXPECT_LT(run.peakKilobytes, 512 * 1024);
    }
  }
}

TEST(HostileStorage, AnUnreadableInfoTxtShowsTheBoxAndAHugeBitmapIsNotDecoded) {
  for (const Hostile kind : {Hostile::kFolder, Hostile::kFifo, Hostile::kEndlessDevice}) {
    TempTerminal terminal;
    MakeReadyTerminal(terminal);
    Plant(terminal, "ResidentFlash/System/info.txt", kind);
    const Outcome run = PlayOn(terminal, "");
    EXPECT_NE(run.transcript.find("[0 start]\nbox: system info file not found\n"), std::string::npos) << run.transcript;
    EXPECT_NE(run.transcript.find("\nversion: -\n"), std::string::npos);
  }
  // 16384 x 16384 at one bit per pixel: 32 MiB on the card, a gigabyte once decoded.
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  auto header = BuildBitmap({.width = 16, .height = 16, .bitCount = 1, .paletteEntries = 2});
  platform::PutU32(&header[18], 16384);
  platform::PutU32(&header[22], 16384);
  terminal.Write("SDMMC DISK/logo.bmp", header);
  fs::resize_file(terminal / "SDMMC DISK/logo.bmp", header.size() - 16 * 4 + std::uintmax_t{16384} * 16384 / 8);
  const Outcome run = PlayOn(terminal, "open,convert");
  EXPECT_EQ(MessageAt(run.transcript, 1), Escaped(text::kNotUsable));
  EXPECT_NE(run.transcript.find("width: 0\nheight: 0\nbitcount: 0\n"), std::string::npos);
  EXPECT_EQ(MessageAt(run.transcript, 2), Escaped(text::kCannotConvert));
  EXPECT_LT(run.peakKilobytes, 512 * 1024);
}

}  // namespace
