// The writer against an in-memory device that records every call: request
// order, record bytes and the sector each request carried.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "flash/flash_writer.h"
#include "platform/debug.h"
#include "tests/support/temp_terminal.h"

namespace {

using bramble::test::TempTerminal;
using Bytes = std::vector<std::byte>;

int OpenDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<int>(std::distance(begin(fds), end(fds)));
}

struct Call {
  enum Kind { open, control, close } kind = open;
  std::u16string name;
  std::vector<DWORD> openArgs;  // access, share, disposition, flags
  DWORD code = 0, inSize = 0, outSize = 0;
  bool outGiven = false, returnedGiven = false;
  Bytes record, sector;  // as sent, and what the record's buffer held then
  int descriptors = 0;   // open at the close: was the file closed first?
};

class RecordingDevice : public platform::BlockDevice {
 public:
  bool present = true;
  std::set<std::uint32_t> refused;
  std::vector<Call> calls;

  HANDLE Open(std::u16string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    Call call;
    call.name = name;
    call.openArgs = {access, share, disposition, flags};
    calls.push_back(call);
    return present ? this : INVALID_HANDLE_VALUE;
  }
  bool Control(HANDLE, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
    Call call;
    call.kind = Call::control;
    call.code = code, call.inSize = inSize, call.outSize = outSize;
    call.outGiven = out != nullptr, call.returnedGiven = returned != nullptr;
    if (in) call.record.assign(static_cast<const std::byte*>(in), static_cast<const std::byte*>(in) + inSize);
    const auto request = platform::DecodeAreaSectorReq(call.record);
    if (request) {
      const auto buffer = platform::ResolveBufferToken(request->Buffer);
      call.sector.assign(buffer.begin(), buffer.end());
    }
    calls.push_back(call);
    return !(request && refused.contains(request->SectorAddr));
  }
  void Close(HANDLE) override {
    Call call;
    call.kind = Call::close;
    call.descriptors = OpenDescriptors();
    calls.push_back(call);
  }

  std::vector<AREA_SECTOR_REQ> Sectors() const {
    std::vector<AREA_SECTOR_REQ> requests;
    for (const auto& call : calls)
      if (call.code == 0x00222828) requests.push_back(*platform::DecodeAreaSectorReq(call.record));
    return requests;
  }
  std::size_t Finishes() const {
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.code == 0x00222830; }));
  }
};

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count = 512) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes Marker() {
  Bytes marker(512, std::byte{0xFF});
  for (std::size_t i = 0; i < 4; ++i) marker[i] = static_cast<std::byte>("\x4C\x4F\x47\x4F"[i]);
  return marker;
}

std::u16string FailureLine(std::uint32_t sector, std::uint32_t buffer) {
  char line[100];
  std::snprintf(line, sizeof line, "Area(1) Write Error : SectorAddr:%x, Buffer:%x\n", sector, buffer);
  return platform::Utf8ToUtf16(line);
}

struct FlashWriter : ::testing::Test {
  TempTerminal terminal;
  RecordingDevice device;
  platform::ScopedBlockDevice scope{device};
  platform::ScopedDebugCapture debug;
  const int descriptorsBefore = OpenDescriptors();

  FlashWriter() { terminal.MakeCard(); }

  // logo.bin on the card, every byte different from its neighbours.
  Bytes WriteLogo(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>((i * 7 + i / 512) % 251);
    terminal.Write("SDMMC DISK/logo.bin", bytes);
    device.calls.clear();
    return bytes;
  }

  // The device opened once with the driver's arguments, and closed last, after the file.
  void ExpectOpenedAndClosed() const {
    ASSERT_GE(device.calls.size(), 2u);
    EXPECT_EQ(device.calls.front().name, u"DSK1:");
    EXPECT_EQ(device.calls.front().openArgs, (std::vector<DWORD>{0xC0000000, 0, 4, 0x80000080}));
    EXPECT_EQ(device.calls.back().kind, Call::close);
    EXPECT_EQ(device.calls.back().descriptors, descriptorsBefore);
    for (std::size_t i = 1; i + 1 < device.calls.size(); ++i) EXPECT_EQ(device.calls[i].kind, Call::control);
  }
};

TEST_F(FlashWriter, StandardLogoFillsSectors0To2999ThenMarkerThenFinish) {
  const Bytes file = WriteLogo(1536000);
  EXPECT_TRUE(WriteLogoToFlash(1));
  EXPECT_EQ(debug.text(), u"");
  ExpectOpenedAndClosed();
  ASSERT_EQ(device.calls.size(), 1 + 3001 + 1 + 1u);
  const auto requests = device.Sectors();
  const std::uint32_t buffer = requests[0].Buffer;
  EXPECT_NE(buffer, 0u);
  for (std::uint32_t s = 0; s < 3001; ++s) {
    const Call& call = device.calls[1 + s];
    ASSERT_EQ(call.code, 0x00222828u);
    EXPECT_TRUE(call.inSize == 16 && !call.outGiven && call.outSize == 4 && call.returnedGiven);
    EXPECT_EQ(requests[s], (AREA_SECTOR_REQ{1, s, 1, buffer}));
    ASSERT_EQ(call.sector, s < 3000 ? Slice(file, s * 512) : Marker()) << "sector " << s;
  }
  // The record goes out little-endian whatever the host.
  const Bytes b = device.calls[3001].record;
  EXPECT_EQ(Slice(b, 0, 13), (Bytes{std::byte{1}, {}, {}, {}, std::byte{0xB8}, std::byte{0x0B}, {}, {}, std::byte{1}, {},
                                    {}, {}, static_cast<std::byte>(buffer & 0xFF)}));
  const Call& finish = device.calls[3002];
  EXPECT_EQ(finish.code, 0x00222830u);
  EXPECT_TRUE(finish.record.empty() && finish.inSize == 0 && !finish.outGiven && finish.outSize == 0 && finish.returnedGiven);
}

TEST_F(FlashWriter, ShortLastSectorKeepsWhatTheBufferHeld) {
  const auto check = [&](std::size_t size, const std::vector<Bytes>& expected) {
    SCOPED_TRACE(size);
    std::vector<std::uint32_t> progress;
    EXPECT_TRUE(flash::WriteFileToFlashArea(u"\\SDMMC DISK\\logo.bin", [&](std::uint32_t done, std::uint32_t total) {
      progress.push_back(done);
      EXPECT_EQ(total, expected.size());
    }));
    ASSERT_EQ(device.Sectors().size(), expected.size() + 1);
    for (std::size_t s = 0; s < expected.size(); ++s) EXPECT_EQ(device.calls[1 + s].sector, expected[s]) << s;
    EXPECT_EQ(device.Sectors().back().SectorAddr, expected.size());
    EXPECT_EQ(device.calls[1 + expected.size()].sector, Marker());
    EXPECT_EQ(device.Finishes(), 1u);
    EXPECT_EQ(progress.size(), expected.size());
  };
  WriteLogo(0);
  check(0, {});
  Bytes f = WriteLogo(1);
  Bytes one(512);
  one[0] = f[0];
  check(1, {one});
  f = WriteLogo(513);
  Bytes second = Slice(f, 0);
  second[0] = f[512];
  check(513, {Slice(f, 0), second});
  f = WriteLogo(1024);
  check(1024, {Slice(f, 0), Slice(f, 512)});

  terminal.Write("ResidentFlash/System/logo.bin", Bytes(600, std::byte{0x33}));
  device.calls.clear();
  EXPECT_TRUE(WriteLogoToFlash(0));
  EXPECT_EQ(device.calls[1].sector, Bytes(512, std::byte{0x33}));
}

TEST_F(FlashWriter, RefusedSectorEndsWithTheFailureLineAndNothingAfter) {
  struct Case {
    std::size_t size;
    std::uint32_t refused;
  };
  for (const Case c : {Case{1536000, 2999}, Case{1024, 2}}) {  // a data sector, then the marker
    SCOPED_TRACE(c.refused);
    platform::ScopedDebugCapture capture;
    WriteLogo(c.size);
    device.refused = {c.refused};
    EXPECT_FALSE(WriteLogoToFlash(1));
    const auto requests = device.Sectors();
    ASSERT_EQ(requests.size(), c.refused + 1);
    EXPECT_EQ(capture.text(), FailureLine(c.refused, requests.back().Buffer));
    EXPECT_EQ(device.Finishes(), 0u);
    ExpectOpenedAndClosed();
  }
}

TEST_F(FlashWriter, NoDeviceOrTooLongFileFailsAtSector0WithoutARequest) {
  device.present = false;
  for (std::size_t size : {1536000u, 0u}) {
    platform::ScopedDebugCapture capture;
    WriteLogo(size);
    EXPECT_FALSE(WriteLogoToFlash(1));
    EXPECT_EQ(device.calls.size(), 1u);  // the open only: nothing reaches a device that is not there
    EXPECT_TRUE(capture.text().starts_with(u"Area(1) Write Error : SectorAddr:0, Buffer:"));
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  }

  device.present = true;
  WriteLogo(0);
  std::filesystem::resize_file(terminal / "SDMMC DISK/logo.bin", 2147483137);  // sparse: costs no disk
  EXPECT_FALSE(WriteLogoToFlash(1));
  EXPECT_EQ(device.calls.size(), 2u);
  EXPECT_TRUE(debug.text().starts_with(u"Area(1) Write Error : SectorAddr:0, Buffer:"));
  ExpectOpenedAndClosed();
}

TEST_F(FlashWriter, UnreadableFileThrowsBeforeAnyRequestWithTheDeviceClosed) {
  try {
    WriteLogoToFlash(1);
    ADD_FAILURE() << "no exception";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::Cause::fileNotFound);
    EXPECT_EQ(error.m_strFileName, u"\\SDMMC DISK\\logo.bin");
  }
  EXPECT_EQ(device.calls.size(), 2u);
  ExpectOpenedAndClosed();

  device.calls.clear();
  std::filesystem::create_symlink("/proc/self/mem", terminal / "SDMMC DISK/logo.bin");  // reads fail with EIO
  EXPECT_THROW(WriteLogoToFlash(1), CFileException);
  EXPECT_EQ(device.calls.size(), 2u);
  ExpectOpenedAndClosed();
}

}  // namespace
