#pragma once
// Programs a logo image file into logo area 1 of the NAND flash through the
// flash block driver "DSK1:", one 512-byte sector per request, closed by an end
// marker sector ("LOGO", then 0xFF) directly behind the data and a finish
// request.

#include <cstdint>
#include <filesystem>
#include <functional>

#include "platform/area_ioctl.h"
#include "platform/block_device.h"
#include "platform/cfile.h"
#include "platform/cstring.h"

namespace flash {

inline constexpr std::uint32_t kLogoArea = 1;
// Beyond 2^31 - 512 bytes the sector arithmetic of the terminal's 32-bit
// integers no longer puts the marker directly behind the data.
inline constexpr ULONGLONG kMaxFileLength = 2147483136;

// Called after each accepted data sector with the number written so far and the
// number of data sectors in all.
using Progress = std::function<void(std::uint32_t written, std::uint32_t total)>;

// Programs the file at a terminal path. True only when every data sector and the
// end marker were accepted. A file that cannot be read leaves as the framework's
// CFileException, with the file and the device closed.
bool WriteFileToFlashArea(const CString& terminalPath, const Progress& progress = {});
// The same for a file of the host.
bool WriteHostFileToFlashArea(const std::filesystem::path& hostPath, const Progress& progress = {});

}  // namespace flash

// "DSK1:" for reading and writing, unshared, open-always, write-through; the
// handle as the open gives it, INVALID_HANDLE_VALUE when there is no driver.
HANDLE OpenNandDriver();

// Programs "\SDMMC DISK\logo.bin" (selector non-zero) or
// "\ResidentFlash\System\logo.bin" (zero); see WriteFileToFlashArea.
bool WriteLogoToFlash(int selector);
