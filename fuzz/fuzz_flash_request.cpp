// The flash block driver's request decoding: sector request records and control
// calls with any bytes and sizes, over a flash folder of its own.
//
// Input: a flags byte (1 open for writing, 2 request trace on, 4 try a second open
// while the first is held), a length byte and that many bytes of the faults file,
// then up to kMaxRequests requests of three bytes each, followed by their record:
//   operation (low two bits: 0 a sector request naming the live buffer, 1 a sector
//              request as given, 2 finish, 3 another code taken from the next four
//              bytes), input size, output size.
// Missing bytes read as zero.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/api/area_ioctl.h"
#include "platform/api/storage_paths.h"
#include "platform/sim/flash_driver.h"

namespace {

namespace fs = std::filesystem;
using bramble::fuzz::Require;

constexpr std::uint8_t kOpenForWriting = 1;
constexpr std::uint8_t kTraceOn = 2;
constexpr std::uint8_t kSecondOpen = 4;

constexpr std::size_t kMaxRequests = 16;
constexpr std::uint32_t kBufferSectors = 8;
// Writes land below this sector, so a run writes a few hundred KiB per area at most
// instead of filling up to 2 GiB of erased flash in front of a far sector.
constexpr std::uint32_t kSectorWindow = 1024;

fs::path g_root;
fs::path g_flash;

class Input {
 public:
  explicit Input(std::span<const std::byte> bytes) : m_rest(bytes) {}
  std::uint8_t Byte() {
    if (m_rest.empty()) return 0;
    const auto value = std::to_integer<std::uint8_t>(m_rest.front());
    m_rest = m_rest.subspan(1);
    return value;
  }
  std::span<const std::byte> Take(std::size_t count) {
    const auto taken = m_rest.first(std::min(count, m_rest.size()));
    m_rest = m_rest.subspan(taken.size());
    return taken;
  }
  bool empty() const { return m_rest.empty(); }

 private:
  std::span<const std::byte> m_rest;
};

void CheckRecordCodec(std::span<const std::byte> bytes) {
  const auto request = platform::DecodeAreaSectorReq(bytes);
  Require(request.has_value() == (bytes.size() == platform::kAreaSectorReqSize), "record of the wrong size decoded");
  if (request) {
    const auto again = platform::EncodeAreaSectorReq(*request);
    Require(std::equal(again.begin(), again.end(), bytes.begin()), "record does not encode back to its bytes");
  }
}

// A request that would reach the disk is moved into the sector window.
void KeepInWindow(std::vector<std::byte>& record) {
  auto request = platform::DecodeAreaSectorReq(record);
  if (!request || request->SectorAddr >= platform::kFlashSectorsPerArea) return;
  if (platform::ResolveBufferToken(request->Buffer).empty()) return;
  request->SectorAddr %= kSectorWindow;
  const auto bytes = platform::EncodeAreaSectorReq(*request);
  std::copy(bytes.begin(), bytes.end(), record.begin());
}

void ClearFlashFolder() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(g_flash, ec)) fs::remove(entry.path(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_root = bramble::fuzz::MakeTerminal("flash");
  g_flash = platform::FlashFolder(g_root);
  fs::create_directory(g_flash);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bytes = bramble::fuzz::AsBytes(data, size);
  CheckRecordCodec(bytes);

  Input input(bytes);
  const std::uint8_t flags = input.Byte();
  const auto faults = input.Take(input.Byte());
  ClearFlashFolder();
  if (!faults.empty()) bramble::fuzz::WriteHostFile(g_flash / "faults", faults);
  if (flags & kTraceOn) bramble::fuzz::WriteHostFile(g_flash / "trace.log", {});

  platform::HostFlashDriver driver(g_flash);
  const bool writable = (flags & kOpenForWriting) != 0;
  HANDLE handle = driver.Open(platform::kFlashDeviceName, writable ? GENERIC_WRITE : GENERIC_READ, 0, 0, 0);
  Require(handle != INVALID_HANDLE_VALUE, "the flash did not open");
  if (flags & kSecondOpen) {
    platform::HostFlashDriver other(g_flash);
    Require(other.Open(platform::kFlashDeviceName, GENERIC_WRITE, 0, 0, 0) == INVALID_HANDLE_VALUE,
            "the flash opened twice");
  }

  std::vector<std::byte> buffer(kBufferSectors * platform::kFlashSectorSize);
  for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::byte>(i * 7 + i / 512);
  const platform::BufferToken token(buffer);

  for (std::size_t n = 0; n < kMaxRequests && !input.empty(); ++n) {
    const std::uint8_t operation = input.Byte() & 3;
    DWORD code = IOCTL_AREA_WRITE_SECTOR;
    if (operation == 2) code = IOCTL_AREA_WRITE_FINISH;
    if (operation == 3) {
      const auto word = input.Take(4);
      code = 0;
      for (std::size_t b = 0; b < word.size(); ++b) code |= std::to_integer<DWORD>(word[b]) << (8 * b);
    }
    const DWORD inSize = input.Byte();
    const DWORD outSize = input.Byte();
    const auto given = input.Take(inSize);
    std::vector<std::byte> record(given.begin(), given.end());
    if (operation == 0 && record.size() >= platform::kAreaSectorReqSize) {
      platform::PutU32(&record[12], token.value());
    }
    KeepInWindow(record);

    DWORD returned = 0xFFFFFFFF;
    std::uint32_t out = 0;
    // The record is passed with the size the caller claims, but never past its bytes.
    const DWORD claimed = static_cast<DWORD>(record.size());
    const bool ok = driver.Control(handle, code, record.empty() ? nullptr : record.data(), claimed, &out, outSize,
                                   &returned);
    Require(returned == 0, "bytes reported for a request without output");
    if (!ok || code != IOCTL_AREA_WRITE_SECTOR) continue;
    const auto request = platform::DecodeAreaSectorReq(record);
    Require(writable && request && outSize == platform::kAreaSectorReqOutputSize,
            "a sector request was accepted that is not one");
    const auto sector = platform::ReadAreaSector(g_root, request->Area, request->SectorAddr);
    Require(std::equal(sector.begin(), sector.end(), buffer.begin()), "the sector does not hold what was written");
  }
  driver.Close(handle);
  return 0;
}
