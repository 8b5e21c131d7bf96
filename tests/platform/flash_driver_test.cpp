// The host flash driver through the platform calls, with records built by hand.
// What the writer's requests leave in area 1 through the real program (a refused
// first sector erases nothing, the first accepted one erases what was there) is
// in tests/app/faults_test.cpp.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/framework/storage.h"
#include "platform/sim/flash_driver.h"
#include "tests/support/temp_terminal.h"

namespace {

using namespace bramble::test;
using Bytes = std::vector<std::byte>;

constexpr DWORD kWriteSector = 0x00222828, kWriteFinish = 0x00222830;
const Bytes kErased(512, std::byte{0xFF});

HANDLE OpenFlash(DWORD access = GENERIC_READ | GENERIC_WRITE) {
  return CreateFileW(_T("DSK1:"), access, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Four little-endian fields, spelled out rather than through the encoder.
Bytes Record(std::uint32_t area, std::uint32_t sector, std::uint32_t count, std::uint32_t buffer) {
  Bytes bytes;
  for (std::uint32_t field : {area, sector, count, buffer})
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::byte>((field >> shift) & 0xFF));
  return bytes;
}

BOOL Send(const platform::UniqueHandle& device, Bytes record, DWORD outSize = 4, DWORD code = kWriteSector) {
  DWORD returned = 0;
  return DeviceIoControl(device.get(), code, record.empty() ? nullptr : record.data(), static_cast<DWORD>(record.size()),
                         nullptr, outSize, &returned, nullptr);
}

struct FlashDriver : ::testing::Test {
  TempTerminal terminal;
  Bytes sector = PatternBytes(1024);
  platform::BufferToken token{sector};
  const std::uint32_t t = token.value();

  FlashDriver() { terminal.MakeFlashDriver(); }
  Bytes Half(int which) const { return Bytes(sector.begin() + 512 * which, sector.begin() + 512 * (which + 1)); }
  Bytes Area(std::uint32_t area, std::uint32_t s) const { return platform::ReadAreaSector(terminal.root(), area, s); }
};

TEST_F(FlashDriver, AbsentWithoutItsFolderAndOpenOnlyOnceAtATime) {
  EXPECT_EQ(CreateFileW(_T("DSK2:"), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  {
    platform::UniqueHandle first(OpenFlash());
    ASSERT_TRUE(first);
    EXPECT_EQ(OpenFlash(), INVALID_HANDLE_VALUE);
  }
  platform::UniqueHandle again(OpenFlash());
  EXPECT_TRUE(again);
  TempTerminal bare;
  EXPECT_EQ(OpenFlash(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(std::filesystem::exists(bare / "flash"));
}

TEST_F(FlashDriver, SectorsLandAtTheirOffsetsUnwrittenOnesReadErasedAndEachOpenErasesAgain) {
  terminal.Write("flash/area1.bin", Bytes(10 * 512, std::byte{0x11}));
  {
    platform::UniqueHandle device(OpenFlash());
    for (const Bytes& record : {Record(1, 2, 1, t), Record(1, 5, 2, t), Record(3, 0, 1, t)}) EXPECT_TRUE(Send(device, record));
    EXPECT_TRUE(Send(device, {}, 0, kWriteFinish));
  }
  const Bytes area = ReadFileBytes(terminal / "flash/area1.bin");
  ASSERT_EQ(area.size(), 7 * 512u);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + 1024), Bytes(1024, std::byte{0xFF}));
  EXPECT_EQ(std::tuple(Area(1, 2), Area(1, 3), Area(1, 5), Area(1, 6), Area(1, 9)),
            std::tuple(Half(0), kErased, Half(0), Half(1), kErased));
  EXPECT_EQ(std::tuple(Area(3, 0), Area(2, 0)), std::tuple(Half(0), kErased));
  EXPECT_TRUE(Send(platform::UniqueHandle(OpenFlash()), Record(1, 3, 1, t)));  // a new open, closed at once
  EXPECT_EQ(std::tuple(Area(1, 2), Area(1, 3)), std::tuple(kErased, Half(0)));
}

TEST_F(FlashDriver, RequestsItDoesNotKnowFailAndWriteNothing) {
  terminal.Write("flash/area1.bin", Bytes(512, std::byte{0x22}));
  const Bytes valid = Record(1, 0, 1, t);
  Bytes longer = valid;
  longer.push_back(std::byte{0});
  // A short record, an output size of 0, an unknown code and a finish with input: in the trace's test below.
  const std::tuple<const char*, Bytes, DWORD, DWORD> refused[] = {
      {"record too long", longer, 4, kWriteSector},        {"output size 8", valid, 8, kWriteSector},
      {"no record", {}, 4, kWriteSector},
      {"area 0", Record(0, 0, 1, t), 4, kWriteSector},     {"area 256", Record(256, 0, 1, t), 4, kWriteSector},
      {"no sectors", Record(1, 0, 0, t), 4, kWriteSector}, {"more than the buffer", Record(1, 0, 3, t), 4, kWriteSector},
      {"unknown buffer", Record(1, 0, 1, 0), 4, kWriteSector},
      {"finish with output", {}, 4, kWriteFinish},
      {"past the 2 GiB area", Record(1, 4194303, 2, t), 4, kWriteSector},
  };
  {
    platform::UniqueHandle device(OpenFlash());
    for (const auto& [what, record, outSize, code] : refused) EXPECT_FALSE(Send(device, record, outSize, code)) << what;
    DWORD returned = 0;
    OVERLAPPED* overlapped = reinterpret_cast<OVERLAPPED*>(&returned);
    EXPECT_FALSE(DeviceIoControl(device.get(), kWriteSector, Bytes(valid).data(), 16, nullptr, 4, &returned, overlapped));
  }
  platform::UniqueHandle reader(OpenFlash(GENERIC_READ));
  ASSERT_TRUE(reader);
  EXPECT_FALSE(Send(reader, valid));
  EXPECT_EQ(ReadFileBytes(terminal / "flash/area1.bin"), Bytes(512, std::byte{0x22}));
}

TEST_F(FlashDriver, FaultsFileRefusesListedSectorsOnlyAndTheTraceHasOneLinePerRequest) {
  terminal.WriteText("flash/faults", "# worn blocks\n1 3\n\n  2 0   # whole line comment after\nnot a pair\n1 4 5\n");
  terminal.WriteText("flash/trace.log", "earlier\n");
  // Each request and its line in the trace, which says whether the driver took it.
  const std::tuple<Bytes, DWORD, DWORD, std::string> requests[] = {
      {Record(1, 3, 1, t), 4, kWriteSector, "WRITE_SECTOR area=1 sector=3 count=1 in=16 out=4 fail"},
      {Record(1, 2, 2, t), 4, kWriteSector, "WRITE_SECTOR area=1 sector=2 count=2 in=16 out=4 fail"},  // covers sector 3
      {Record(2, 0, 1, t), 4, kWriteSector, "WRITE_SECTOR area=2 sector=0 count=1 in=16 out=4 fail"},
      {Record(1, 2, 1, t), 4, kWriteSector, "WRITE_SECTOR area=1 sector=2 count=1 in=16 out=4 ok"},
      {Record(1, 4, 1, t), 4, kWriteSector, "WRITE_SECTOR area=1 sector=4 count=1 in=16 out=4 ok"},
      {Record(2, 1, 1, t), 4, kWriteSector, "WRITE_SECTOR area=2 sector=1 count=1 in=16 out=4 ok"},
      {Record(1, 0, 1, t), 0, kWriteSector, "WRITE_SECTOR area=1 sector=0 count=1 in=16 out=0 fail"},
      {Bytes(8), 4, kWriteSector, "WRITE_SECTOR area=? sector=? count=? in=8 out=4 fail"},
      {{}, 0, kWriteFinish, "WRITE_FINISH in=0 out=0 ok"},
      {Bytes(16), 0, kWriteFinish, "WRITE_FINISH in=16 out=0 fail"},
      {{}, 0, 0x1234, "IOCTL code=0x00001234 in=0 out=0 fail"},
  };
  std::vector<std::string> trace = {"earlier"};
  {
    platform::UniqueHandle device(OpenFlash());
    for (const auto& [record, outSize, code, line] : requests) {
      EXPECT_EQ(Send(device, record, outSize, code) != 0, line.ends_with(" ok")) << line;
      trace.push_back(line);
    }
  }
  EXPECT_EQ(std::tuple(Area(1, 0), Area(1, 3), Area(2, 0)), std::tuple(kErased, kErased, kErased));
  const std::string debug = terminal.TakeDebugOutput();
  for (const char* line : {"faults(5)", "faults(6)"}) EXPECT_NE(debug.find(line), std::string::npos) << debug;
  EXPECT_EQ(ReadLines(terminal / "flash/trace.log"), trace);
}

}  // namespace
