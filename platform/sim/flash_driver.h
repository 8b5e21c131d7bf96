#pragma once
// The NAND flash block driver "DSK1:" on the host: the folder DIR/flash of the
// terminal folder stands for the flash. Area n is the file DIR/flash/area<n>.bin,
// sector s at byte s * 512; sectors never written read as 0xFF (erased flash).
//
// - The driver is present when the folder exists; the open is exclusive, by the
//   lock on DIR/flash/dsk1.lock that the Linux and the Windows programs honour.
// - The first accepted sector request for an area after the open erases the
//   whole area, as NAND is erased before it is programmed.
// - An accepted sector request has reached the area file when it returns; the
//   finish request makes the area files durable.
// - DIR/flash/faults lists refused sectors, one "AREA SECTOR" pair per line
//   (decimal, '#' starts a comment); it is read at the open.
// - If DIR/flash/trace.log exists, every request appends one line to it. A FIFO
//   without a reader gets none, and a reader that leaves ends the trace.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/formats/area_ioctl.h"
#include "platform/sim/block_device.h"

namespace platform {

// The areas the driver knows, and their size: 2 GiB holds the longest file the
// writer programs together with its end marker.
inline constexpr std::uint32_t kFlashAreaCount = 255;
inline constexpr std::uint32_t kFlashSectorsPerArea = 4194304;

class HostFlashDriver final : public BlockDevice {
 public:
  // Over the flash folder of whatever terminal root is current at each open.
  HostFlashDriver();
  // Over one fixed flash folder.
  explicit HostFlashDriver(std::filesystem::path flashFolder);
  ~HostFlashDriver() override;
  HostFlashDriver(const HostFlashDriver&) = delete;
  HostFlashDriver& operator=(const HostFlashDriver&) = delete;

  HANDLE Open(WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override;
  bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* bytesReturned) override;
  void Close(HANDLE handle) override;

 private:
  struct Session;
  Session* Find(HANDLE handle) const;

  std::optional<std::filesystem::path> m_flashFolder;
  std::vector<std::unique_ptr<Session>> m_sessions;
};

// DIR/flash for a terminal folder DIR.
std::filesystem::path FlashFolder(const std::filesystem::path& terminalRoot);
// The file whose lock (HostIo::Lock) every open of the driver holds, in this
// program or another.
std::filesystem::path FlashLockFile(const std::filesystem::path& flashFolder);
std::filesystem::path AreaFilePath(const std::filesystem::path& terminalRoot, std::uint32_t area);

// One sector of an area as the flash holds it: 512 bytes, 0xFF where nothing was
// ever written (also when there is no area file).
std::vector<std::byte> ReadAreaSector(const std::filesystem::path& terminalRoot, std::uint32_t area,
                                      std::uint32_t sector);

}  // namespace platform
