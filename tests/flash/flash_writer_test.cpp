// The writer against an in-memory device that records every call: request order,
// record bytes and the sector each request carried. The writer through the host
// driver is seen in the program's own runs (tests/app).

#include "flash/flash_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/sim/block_device.h"
#include "tests/support/temp_terminal.h"

namespace {

using namespace bramble::test;
using Bytes = std::vector<std::byte>;

constexpr DWORD kWriteSector = 0x00222828, kWriteFinish = 0x00222830;

struct Call {
  enum Kind { open, control, close } kind = open;
  platform::WString name{};
  std::vector<DWORD> openArgs{};  // access, share, disposition, flags
  DWORD code = 0, inSize = 0, outSize = 0;
  bool outGiven = false, returnedGiven = false;
  Bytes record{}, sector{};  // as sent, and what the record's buffer held then
  int descriptors = 0;   // open at the close: was the file closed first?
};

class RecordingDevice : public platform::BlockDevice {
 public:
  bool present = true, refuseFinish = false;
  std::set<std::uint32_t> refused;
  std::vector<Call> calls;

  HANDLE Open(platform::WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    calls.push_back({.name = platform::WString(name), .openArgs = {access, share, disposition, flags}});
    return present ? this : INVALID_HANDLE_VALUE;
  }
  bool Control(HANDLE, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
    Call call{.kind = Call::control, .code = code, .inSize = inSize, .outSize = outSize, .outGiven = out != nullptr,
              .returnedGiven = returned != nullptr};
    if (in) call.record.assign(static_cast<const std::byte*>(in), static_cast<const std::byte*>(in) + inSize);
    const auto request = platform::DecodeAreaSectorReq(call.record);
    if (request) {
      const auto buffer = platform::ResolveBufferToken(request->Buffer);
      call.sector.assign(buffer.begin(), buffer.end());
    }
    calls.push_back(call);
    if (code == kWriteFinish) return !refuseFinish;
    return !(request && refused.contains(request->SectorAddr));
  }
  void Close(HANDLE) override { calls.push_back({.kind = Call::close, .descriptors = OpenDescriptorCount()}); }

  std::vector<AREA_SECTOR_REQ> Sectors() const {
    std::vector<AREA_SECTOR_REQ> requests;
    for (const auto& call : calls)
      if (call.code == kWriteSector) requests.push_back(*platform::DecodeAreaSectorReq(call.record));
    return requests;
  }
};

struct FlashWriter : ::testing::Test {
  TempTerminal terminal;
  RecordingDevice device;
  const int descriptorsBefore = OpenDescriptorCount();

  FlashWriter() { terminal.UseFlashDevice(device); }

  Bytes WriteLogo(std::size_t size) {
    const Bytes bytes = PatternBytes(size);
    terminal.Write("SDMMC DISK/logo.bin", bytes);
    device.calls.clear();
    return bytes;
  }

  // The device opened once with the driver's arguments, and closed last, after the file.
  void ExpectOpenedAndClosed() const {
    ASSERT_GE(device.calls.size(), 2u);
    EXPECT_EQ(std::tuple(device.calls.front().name, device.calls.front().openArgs),
              std::tuple(platform::WString(_T("DSK1:")), std::vector<DWORD>{0xC0000000, 0, 4, 0x80000080}));
    EXPECT_EQ(std::tuple(device.calls.back().kind, device.calls.back().descriptors), std::tuple(Call::close, descriptorsBefore));
    for (std::size_t i = 1; i + 1 < device.calls.size(); ++i) EXPECT_EQ(device.calls[i].kind, Call::control);
  }
};

// One buffer, zeroed once, carries every sector: a short last read overwrites only
// its front, and the marker goes directly behind the last data sector.
TEST_F(FlashWriter, DataSectorsThenTheMarkerThenTheFinishAndAShortLastSectorKeepsWhatTheBufferHeld) {
  for (const std::size_t size : {0u, 1u, 513u, 1024u, 1536000u}) {
    SCOPED_TRACE(size);
    const Bytes file = WriteLogo(size);
    const auto sectors = static_cast<std::uint32_t>((size + 511) / 512);
    std::vector<std::uint32_t> progress;
    const auto open = [](CFile& logoBin) { logoBin.Open(_T("\\SDMMC DISK\\logo.bin"), CFile::modeRead); };
    EXPECT_TRUE(flash::WriteToFlashArea(open, [&](std::uint32_t done, std::uint32_t total) {
      progress.push_back(done);
      EXPECT_EQ(total, sectors);
    }));
    EXPECT_EQ(terminal.TakeDebugOutput(), "");
    ExpectOpenedAndClosed();
    ASSERT_EQ(device.calls.size(), 1 + sectors + 1 + 1 + 1u);
    const auto requests = device.Sectors();
    const std::uint32_t buffer = requests[0].Buffer;
    EXPECT_NE(buffer, 0u);
    Bytes held(512);
    for (std::uint32_t s = 0; s <= sectors; ++s) {
      const Call& call = device.calls[1 + s];
      ASSERT_EQ(call.code, kWriteSector);
      EXPECT_EQ(std::tuple(call.inSize, call.outGiven, call.outSize, call.returnedGiven, requests[s]),
                std::tuple(16u, false, 4u, true, AREA_SECTOR_REQ{1, s, 1, buffer}));
      if (s < sectors) std::copy(file.begin() + s * 512, file.begin() + std::min<std::size_t>(size, s * 512 + 512), held.begin());
      ASSERT_EQ(call.sector, s < sectors ? held : EndMarker()) << "sector " << s;
    }
    const Call& finish = device.calls[sectors + 2];
    EXPECT_EQ(std::tuple(finish.code, finish.record.size(), finish.inSize, finish.outGiven, finish.outSize, finish.returnedGiven),
              std::tuple(kWriteFinish, 0u, 0u, false, 0u, true));
    EXPECT_EQ(std::tuple(progress.size(), progress.empty() ? 0 : progress.back()), std::tuple(sectors, sectors));
  }
  // The record goes out little-endian whatever the host: here the marker's, in sector 3000.
  const Bytes& marker = device.calls[3001].record;
  EXPECT_EQ(Bytes(marker.begin(), marker.begin() + 13),
            (Bytes{std::byte{1}, {}, {}, {}, std::byte{0xB8}, std::byte{0x0B}, {}, {}, std::byte{1}, {}, {}, {},
                   static_cast<std::byte>(device.Sectors()[0].Buffer & 0xFF)}));
}

TEST_F(FlashWriter, ARefusedSectorEndsWithTheFailureLineAndNothingAfterAndARefusedFinishFails) {
  // A data sector, the marker, and the finish: sectors the driver could not make durable are no programmed logo.
  constexpr std::uint32_t kFinish = 0xFFFFFFFF;
  for (const auto& [size, refused] : {std::pair{1536000u, 2999u}, std::pair{1024u, 2u}, std::pair{1024u, kFinish}}) {
    SCOPED_TRACE(refused == kFinish ? std::string("the finish") : "sector " + std::to_string(refused));
    WriteLogo(size);
    device.refused = {refused};
    device.refuseFinish = refused == kFinish;
    EXPECT_FALSE(WriteLogoToFlash(1));
    const auto requests = device.Sectors();
    const std::uint32_t sent = refused == kFinish ? 3 : refused + 1;
    ASSERT_EQ(requests.size(), sent);
    char line[100];
    std::snprintf(line, sizeof line, "Area(1) Write Error : SectorAddr:%x, Buffer:%x\n", refused, requests.back().Buffer);
    EXPECT_EQ(terminal.TakeDebugOutput(), refused == kFinish ? "Area(1) Finish Error\n" : line);
    EXPECT_EQ(device.calls.size(), 1 + sent + (refused == kFinish) + 1u);  // the open, the sectors, a finish if sent, the close
    ExpectOpenedAndClosed();
  }
}

// With no device only the open is tried; a file too long for the terminal's
// sector arithmetic, or one that cannot be read (which throws), sends nothing.
TEST_F(FlashWriter, NoDeviceALongOrAnUnreadableFileFailsBeforeAnyRequest) {
  for (const bool present : {false, true}) {
    SCOPED_TRACE(present ? "a long file" : "no device");
    device.present = present;
    WriteLogo(0);
    if (present) std::filesystem::resize_file(terminal / "SDMMC DISK/logo.bin", 2147483137);  // sparse: costs no disk
    EXPECT_FALSE(WriteLogoToFlash(1));
    EXPECT_EQ(std::tuple(device.calls.size(), OpenDescriptorCount()), std::tuple(present ? 2u : 1u, descriptorsBefore));
    EXPECT_TRUE(terminal.TakeDebugOutput().starts_with("Area(1) Write Error : SectorAddr:0, Buffer:"));
  }
  ExpectOpenedAndClosed();

  // Missing, then (where Linux has one) a file whose reads fail with EIO.
  std::vector<const char*> unreadable = {nullptr};
#ifndef _WIN32
  unreadable.push_back("/proc/self/mem");
#endif
  std::filesystem::remove(terminal / "SDMMC DISK/logo.bin");
  for (const char* target : unreadable) {
    if (target) std::filesystem::create_symlink(target, terminal / "SDMMC DISK/logo.bin");
    device.calls.clear();
    EXPECT_THROW(WriteLogoToFlash(1), CFileException);
    EXPECT_EQ(device.calls.size(), 2u);
    ExpectOpenedAndClosed();
  }
}

}  // namespace
