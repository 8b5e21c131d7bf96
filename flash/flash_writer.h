#pragma once
// Programs a logo image file into logo area 1 of the NAND flash through the
// flash block driver "DSK1:", one 512-byte sector per request, closed by an end
// marker sector ("LOGO", then 0xFF) directly behind the data and a finish
// request.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/formats/area_ioctl.h"
#include "platform/framework/afxwin.h"

namespace flash {

inline constexpr std::uint32_t kLogoArea = 1;
inline constexpr std::size_t kSectorBytes = platform::kFlashSectorSize;
// Beyond 2^31 - 512 bytes the sector arithmetic of the terminal's 32-bit
// integers no longer puts the marker directly behind the data.
inline constexpr ULONGLONG kMaxFileLength = 2147483136;

using Sector = std::array<std::byte, kSectorBytes>;

// The sector that closes a logo: "LOGO", then 508 bytes 0xFF.
Sector EndMarkerSector();
// Data sectors for a file of `length` bytes: the last one may be partly filled.
constexpr std::uint32_t DataSectorCount(ULONGLONG length) {
  return static_cast<std::uint32_t>((length + kSectorBytes - 1) / kSectorBytes);
}

// Called after each accepted data sector with the number written so far and the
// number of data sectors in all.
using Progress = std::function<void(std::uint32_t written, std::uint32_t total)>;

// Programs the file that `openFile` opens into the CFile it is given; it is
// called once the device is open, and the file is closed before the device. True
// only when every data sector, the end marker and the finish request were
// accepted. A file that reads shorter than it was when opened is a failed
// programming (no marker, no finish). A file that cannot be read leaves as the
// framework's CFileException, with the file and the device closed.
bool WriteToFlashArea(const std::function<void(CFile&)>& openFile, const Progress& progress = {});

}  // namespace flash

// "DSK1:" for reading and writing, unshared, open-always, write-through; the
// handle as the open gives it, INVALID_HANDLE_VALUE when there is no driver.
HANDLE OpenNandDriver();

// Programs "\SDMMC DISK\logo.bin" (selector non-zero) or
// "\ResidentFlash\System\logo.bin" (zero); see WriteToFlashArea.
bool WriteLogoToFlash(int selector);
