// The flash driver's faults list from outside bytes (DIR/flash/faults): whatever
// it holds, the driver opens, and each sector it is then asked for is either
// refused and left erased or written whole.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/formats/area_ioctl.h"
#include "platform/api/storage_paths.h"
#include "platform/sim/flash_driver.h"

namespace {

std::filesystem::path g_root;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_root = bramble::fuzz::MakeTerminal("flash");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bramble::fuzz::Require;
  const auto flash = platform::FlashFolder(g_root);
  bramble::fuzz::WriteHostFile(flash / "faults", bramble::fuzz::AsBytes(data, size));
  // Erased areas to start from: a refused request erases nothing, so what an
  // earlier input wrote would still be there.
  std::error_code ignored;
  for (const char* area : {"area1.bin", "area2.bin"}) std::filesystem::remove(flash / area, ignored);
  platform::HostFlashDriver driver(flash);
  const HANDLE handle = driver.Open(platform::kFlashDeviceName, GENERIC_READ | GENERIC_WRITE, 0, 0, 0);
  Require(handle != INVALID_HANDLE_VALUE, "the flash did not open");

  std::vector<std::byte> sector(platform::kFlashSectorSize, std::byte{0x5A});
  const platform::BufferToken token(sector);
  const std::vector<std::byte> erased(platform::kFlashSectorSize, std::byte{0xFF});
  for (std::uint32_t area = 1; area <= 2; ++area) {
    for (std::uint32_t s = 0; s < 4; ++s) {
      auto record = platform::EncodeAreaSectorReq({area, s, 1, token.value()});
      DWORD returned = 0;
      const bool written = driver.Control(handle, IOCTL_AREA_WRITE_SECTOR, record.data(), 16, nullptr, 4, &returned);
      const auto stored = platform::ReadAreaSector(g_root, area, s);
      Require(stored == (written ? sector : erased), "a sector is neither written whole nor left erased");
    }
  }
  driver.Close(handle);
  return 0;
}
