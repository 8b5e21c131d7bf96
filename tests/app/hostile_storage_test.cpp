// Files the program reads, as a hostile card or folder offers them: a folder, a
// FIFO, a device that never ends, a sparse file of 2 GB, a bitmap whose picture
// would take a gigabyte. Each is refused at once and the dialog says what it says
// for a file it cannot use.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "tests/support/play_run.h"
#include "tests/support/texts.h"

namespace {

using namespace bramble::test;
namespace fs = std::filesystem;

TEST(HostileStorage, EveryFileTheProgramReadsIsRefusedAtOnceWithItsFailureText) {
  struct Case {
    const char* file;
    const char* steps;
    std::vector<const char16_t*> messages;  // after the start
    std::string shown = "model: QX210\nversion: V1.02\n";  // in every block
    bool sparse = true;  // a sparse info.txt is a regular file, and has an empty first line
  };
  const std::string noInfo = "[0 start]\nbox: system info file not found\nmessage: " + Escaped(text::kOpenImagePrompt);
  const Case cases[] = {
      {"SDMMC DISK/logo.bmp", "open,convert", {text::kNotUsable, text::kCannotConvert}},
      {"ResidentFlash/System/logo.bmp", "reset", {text::kDefaultRestoreFailed}},
      {"flash/faults", "open,convert", {text::kUsable, text::kLogoChanged}},
      {"registry.reg", "open", {text::kUsable}, "model: \nversion: V1.02\n"},
      {"ResidentFlash/System/info.txt", "", {}, noInfo + "\nmodel: QX210\nversion: -\n", false},
  };
  const std::pair<std::string, std::function<void(const fs::path&)>> kinds[] = {
      {"a folder", [](const fs::path& path) { fs::create_directory(path); }},
      {"a FIFO", [](const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }},
      {"an endless device", [](const fs::path& path) { fs::create_symlink("/dev/zero", path); }},
      {"a sparse 2 GB file",
       [](const fs::path& path) { std::ofstream(path).close(); fs::resize_file(path, std::uintmax_t{2} << 30); }}};
  for (const Case& c : cases) {
    for (const auto& [kind, plant] : kinds) {
      if (kind == "a sparse 2 GB file" && !c.sparse) continue;
      SCOPED_TRACE(std::string(c.file) + " as " + kind);
      ReadyTerminal terminal;
      fs::remove(terminal / c.file);
      plant(terminal / c.file);
      const PlayResult run = Play(terminal, c.steps);
      ExpectMessages(run, c.messages);
      EXPECT_NE(run.transcript.find(c.shown), std::string::npos) << run.transcript;
      EXPECT_LT(run.peakKilobytes, 512 * 1024);
    }
  }
}

// 16384 x 16384 at one bit per pixel: 32 MiB on the card, a gigabyte once decoded.
TEST(HostileStorage, AHugeBitmapIsNotDecoded) {
  ReadyTerminal terminal;
  const auto header = Patched(Patched(BuildBitmap({.width = 16, .height = 16, .bitCount = 1, .paletteEntries = 2}),
                                      {"width", 18, 16384}), {"height", 22, 16384});
  terminal.Write("SDMMC DISK/logo.bmp", header);
  fs::resize_file(terminal / "SDMMC DISK/logo.bmp", header.size() - 16 * 4 + std::uintmax_t{16384} * 16384 / 8);
  const PlayResult run = Play(terminal, "open,convert");
  ExpectMessages(run, {text::kNotUsable, text::kCannotConvert});
  EXPECT_LT(run.peakKilobytes, 512 * 1024);
}

}  // namespace
