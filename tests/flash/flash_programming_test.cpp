// The writer through the host flash driver into a terminal folder, read back
// from the area file and the request trace.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "flash/flash_writer.h"
#include "platform/debug.h"
#include "platform/flash_driver.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::ReadFileBytes;
using bramble::test::TempTerminal;
using Bytes = std::vector<std::byte>;

std::vector<std::string> Lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Bytes Marker() {
  Bytes marker(512, std::byte{0xFF});
  for (int i = 0; i < 4; ++i) marker[static_cast<std::size_t>(i)] = static_cast<std::byte>("LOGO"[i]);
  return marker;
}

struct FlashProgramming : ::testing::Test {
  TempTerminal terminal;
  platform::ScopedDebugCapture debug;
  Bytes logo = Bytes(1536000);

  FlashProgramming() {
    terminal.MakeCard();
    terminal.MakeFlashDriver();
    terminal.WriteText("flash/trace.log", "");
    for (std::size_t i = 0; i < logo.size(); ++i) logo[i] = static_cast<std::byte>((i * 13 + i / 512) % 253);
    terminal.Write("SDMMC DISK/logo.bin", logo);
  }
};

TEST_F(FlashProgramming, StandardLogoLandsInArea1AndTheTraceShowsEveryRequestInOrder) {
  EXPECT_TRUE(WriteLogoToFlash(1));
  EXPECT_EQ(debug.text(), u"");

  Bytes area = ReadFileBytes(terminal / "flash/area1.bin");
  ASSERT_EQ(area.size(), 3001 * 512u);
  EXPECT_TRUE(std::equal(logo.begin(), logo.end(), area.begin()));
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000), Marker());
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3001), Bytes(512, std::byte{0xFF}));

  const auto trace = Lines(terminal / "flash/trace.log");
  ASSERT_EQ(trace.size(), 3002u);
  for (int s = 0; s <= 3000; ++s)
    ASSERT_EQ(trace[static_cast<std::size_t>(s)], "WRITE_SECTOR area=1 sector=" + std::to_string(s) + " count=1 in=16 out=4 ok");
  EXPECT_EQ(trace.back(), "WRITE_FINISH in=0 out=0 ok");
}

TEST_F(FlashProgramming, RefusedSectorLeavesNoMarkerAndNoFinish) {
  terminal.WriteText("flash/faults", "# worn block\n1 2999\n");
  EXPECT_FALSE(WriteLogoToFlash(1));
  EXPECT_TRUE(debug.text().starts_with(u"Area(1) Write Error : SectorAddr:bb7, Buffer:"));

  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 2998), Bytes(logo.begin() + 2998 * 512, logo.begin() + 2999 * 512));
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 2999), Bytes(512, std::byte{0xFF}));
  EXPECT_EQ(platform::ReadAreaSector(terminal.root(), 1, 3000), Bytes(512, std::byte{0xFF}));
  const auto trace = Lines(terminal / "flash/trace.log");
  ASSERT_EQ(trace.size(), 3000u);
  EXPECT_EQ(trace.back(), "WRITE_SECTOR area=1 sector=2999 count=1 in=16 out=4 fail");
}

TEST_F(FlashProgramming, MissingOrBusyDriverFailsAtSector0AndWritesNothing) {
  {
    platform::HostFlashDriver other(platform::FlashFolder(terminal.root()));
    HANDLE held = other.Open(u"DSK1:", GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS, 0);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteLogoToFlash(1));
    EXPECT_FALSE(std::filesystem::exists(terminal / "flash/area1.bin"));
    other.Close(held);
  }
  std::filesystem::remove_all(terminal / "flash");
  EXPECT_FALSE(WriteLogoToFlash(1));
  EXPECT_FALSE(std::filesystem::exists(terminal / "flash"));
  const std::u16string line = u"Area(1) Write Error : SectorAddr:0, Buffer:";
  ASSERT_TRUE(debug.text().starts_with(line));
  EXPECT_NE(debug.text().find(line, line.size()), std::u16string::npos);
}

}  // namespace
