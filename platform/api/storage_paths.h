#pragma once
// The terminal's fixed storage paths: the SD card, resident flash and the flash
// block driver.

#include "platform/api/windows_api.h"

namespace platform {

inline constexpr const WCHAR* kSdCardRoot = _T("\\SDMMC DISK\\");
inline constexpr const WCHAR* kSdLogoBmp = _T("\\SDMMC DISK\\logo.bmp");
inline constexpr const WCHAR* kSdLogoBin = _T("\\SDMMC DISK\\logo.bin");
inline constexpr const WCHAR* kSdStartupRaw = _T("\\SDMMC DISK\\startup.raw");
inline constexpr const WCHAR* kFlashLogoBmp = _T("\\ResidentFlash\\System\\logo.bmp");
inline constexpr const WCHAR* kFlashLogoBin = _T("\\ResidentFlash\\System\\logo.bin");
inline constexpr const WCHAR* kSystemInfoTxt = _T("\\ResidentFlash\\System\\info.txt");
// Present from just before the first flash request of a programming until the
// writer has reported success: a logo change that did not complete.
inline constexpr const WCHAR* kLogoPendingMark = _T("\\ResidentFlash\\System\\logo.pending");
inline constexpr const WCHAR* kFlashDeviceName = _T("DSK1:");

}  // namespace platform
