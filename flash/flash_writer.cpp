#include "flash/flash_writer.h"

#include <algorithm>

namespace flash {
namespace {

// The sector arithmetic is the terminal's: signed 32-bit.
constexpr auto kSignedSectorBytes = static_cast<std::int32_t>(kSectorBytes);
constexpr std::array<std::byte, 4> kEndMarker = {std::byte{'L'}, std::byte{'O'}, std::byte{'G'}, std::byte{'O'}};
constexpr auto kMarkerFill = std::byte{0xFF};

bool SendSector(HANDLE device, const AREA_SECTOR_REQ& request, DWORD& bytesReturned) {
  platform::AreaSectorReqBytes record = platform::EncodeAreaSectorReq(request);
  return ::DeviceIoControl(device, IOCTL_AREA_WRITE_SECTOR, record.data(), static_cast<DWORD>(record.size()), nullptr,
                           platform::kAreaSectorReqOutputSize, &bytesReturned, nullptr) != FALSE;
}

bool ReportFailure(const AREA_SECTOR_REQ& request) {
  NKDbgPrintfW(_T("Area(%d) Write Error : SectorAddr:%x, Buffer:%x\n"), static_cast<int>(request.Area),
               request.SectorAddr, request.Buffer);
  return false;
}

bool ReportShortRead(const AREA_SECTOR_REQ& request) {
  NKDbgPrintfW(_T("Area(%d) Read Error : SectorAddr:%x, Buffer:%x\n"), static_cast<int>(request.Area),
               request.SectorAddr, request.Buffer);
  return false;
}

// Everything between opening and closing: the data sectors, the end marker and
// the finish request. The device handle is not tested: with no driver the first
// request fails and says so.
bool ProgramOpenFile(HANDLE device, CFile& file, const Progress& progress) {
  Sector sector{};  // zero bytes once; a short last piece keeps what the one before left
  const platform::BufferToken token(sector);
  const ULONGLONG fullLength = file.GetLength();
  if (fullLength > kMaxFileLength) return ReportFailure({kLogoArea, 0, 1, token.value()});
  const auto length = static_cast<std::int32_t>(fullLength);
  file.Seek(0, CFile::begin);

  std::int32_t dataSectors = length / kSignedSectorBytes;
  if (length - dataSectors * kSignedSectorBytes != 0) ++dataSectors;

  // Each piece must hold what the file held when it was opened. A file cut short
  // meanwhile (a pulled card, another program) would leave stale sectors in the
  // area behind an end marker that calls them a logo.
  const auto readPiece = [&](std::int32_t s) {
    const UINT got = file.Read(sector.data(), static_cast<UINT>(sector.size()));
    const std::int32_t expected = s < dataSectors ? std::min(kSignedSectorBytes, length - s * kSignedSectorBytes) : 0;
    return static_cast<std::int64_t>(got) >= expected;
  };

  AREA_SECTOR_REQ request{kLogoArea, 0, 1, token.value()};
  DWORD bytesReturned = 0;  // the driver's to fill; never read
  if (!readPiece(0)) return ReportShortRead(request);
  for (std::int32_t s = 0; s < dataSectors; ++s) {
    request.SectorAddr = static_cast<std::uint32_t>(s);
    if (!SendSector(device, request, bytesReturned)) return ReportFailure(request);
    if (progress) progress(request.SectorAddr + 1, static_cast<std::uint32_t>(dataSectors));
    // After the last sector this meets the end of the file and changes nothing.
    if (!readPiece(s + 1)) return ReportShortRead({kLogoArea, request.SectorAddr + 1, 1, token.value()});
  }

  sector = EndMarkerSector();
  request = {kLogoArea, static_cast<std::uint32_t>((length + kSignedSectorBytes - 1) / kSignedSectorBytes), 1,
             token.value()};
  if (!SendSector(device, request, bytesReturned)) return ReportFailure(request);

  // The finish is what makes the sectors durable: a driver that could not do so
  // may lose them to a power cut, so the logo is not programmed.
  if (!::DeviceIoControl(device, IOCTL_AREA_WRITE_FINISH, nullptr, 0, nullptr, 0, &bytesReturned, nullptr)) {
    NKDbgPrintfW(_T("Area(%d) Finish Error\n"), static_cast<int>(kLogoArea));
    return false;
  }
  return true;
}

}  // namespace

Sector EndMarkerSector() {
  Sector marker;
  std::ranges::fill(marker, kMarkerFill);
  std::ranges::copy(kEndMarker, marker.begin());
  return marker;
}

bool WriteToFlashArea(const std::function<void(CFile&)>& openFile, const Progress& progress) {
  // The device is opened before the file and closed after it, on every way out.
  const platform::UniqueHandle device(OpenNandDriver());
  CFile file;
  // The open's result is not looked at: a missing file shows as the length
  // query's exception, before any request.
  openFile(file);
  const bool written = ProgramOpenFile(device.get(), file, progress);
  file.Close();
  return written;
}

}  // namespace flash

HANDLE OpenNandDriver() {
  return ::CreateFileW(platform::kFlashDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteLogoToFlash(int selector) {
  const WCHAR* path = selector != 0 ? platform::kSdLogoBin : platform::kFlashLogoBin;
  return flash::WriteToFlashArea([path](CFile& file) { file.Open(path, CFile::modeRead); });
}
