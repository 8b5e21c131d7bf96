#include "flash/flash_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "platform/debug.h"
#include "platform/terminal.h"

namespace flash {
namespace {

using SectorBuffer = std::array<std::byte, platform::kFlashSectorSize>;
// The sector arithmetic is the terminal's: signed 32-bit.
constexpr auto kSectorBytes = static_cast<std::int32_t>(platform::kFlashSectorSize);
constexpr std::array<std::byte, 4> kEndMarker = {std::byte{'L'}, std::byte{'O'}, std::byte{'G'}, std::byte{'O'}};
constexpr auto kMarkerFill = std::byte{0xFF};

// Owns the device handle; an invalid one is never closed.
class DeviceHandle {
 public:
  explicit DeviceHandle(HANDLE handle) : m_handle(handle) {}
  ~DeviceHandle() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

bool SendSector(HANDLE device, const AREA_SECTOR_REQ& request, DWORD& bytesReturned) {
  platform::AreaSectorReqBytes record = platform::EncodeAreaSectorReq(request);
  return DeviceIoControl(device, IOCTL_AREA_WRITE_SECTOR, record.data(), static_cast<DWORD>(record.size()), nullptr,
                         platform::kAreaSectorReqOutputSize, &bytesReturned, nullptr) != FALSE;
}

bool ReportFailure(const AREA_SECTOR_REQ& request) {
  NKDbgPrintfW(u"Area(%d) Write Error : SectorAddr:%x, Buffer:%x\n", static_cast<int>(request.Area),
               request.SectorAddr, request.Buffer);
  return false;
}

// Everything between opening and closing: the data sectors, the end marker and
// the finish request. The device handle is not tested: with no driver the first
// request fails and says so.
bool ProgramOpenFile(HANDLE device, CFile& file, const Progress& progress) {
  SectorBuffer sector{};  // zero bytes once; a short last piece keeps what the one before left
  const platform::BufferToken token(sector);
  const ULONGLONG fullLength = file.GetLength();
  if (fullLength > kMaxFileLength) return ReportFailure({kLogoArea, 0, 1, token.value()});
  const auto length = static_cast<std::int32_t>(fullLength);
  file.Seek(0, CFile::begin);

  std::int32_t dataSectors = length / kSectorBytes;
  if (length - dataSectors * kSectorBytes != 0) ++dataSectors;

  AREA_SECTOR_REQ request{kLogoArea, 0, 1, token.value()};
  DWORD bytesReturned = 0;  // the driver's to fill; never read
  file.Read(sector.data(), static_cast<UINT>(sector.size()));
  for (std::int32_t s = 0; s < dataSectors; ++s) {
    request.SectorAddr = static_cast<std::uint32_t>(s);
    if (!SendSector(device, request, bytesReturned)) return ReportFailure(request);
    if (progress) progress(request.SectorAddr + 1, static_cast<std::uint32_t>(dataSectors));
    // After the last sector this meets the end of the file and changes nothing.
    file.Read(sector.data(), static_cast<UINT>(sector.size()));
  }

  std::ranges::fill(sector, kMarkerFill);
  std::ranges::copy(kEndMarker, sector.begin());
  request = {kLogoArea, static_cast<std::uint32_t>((length + kSectorBytes - 1) / kSectorBytes), 1, token.value()};
  if (!SendSector(device, request, bytesReturned)) return ReportFailure(request);

  // The data is complete with the marker; what the driver makes of the finish
  // does not change that.
  DeviceIoControl(device, IOCTL_AREA_WRITE_FINISH, nullptr, 0, nullptr, 0, &bytesReturned, nullptr);
  return true;
}

// The device is opened before the file and closed after it, on every way out.
template <typename OpenFile>
bool Program(OpenFile&& openFile, const Progress& progress) {
  const DeviceHandle device(OpenNandDriver());
  CFile file;
  // The open's result is not looked at: a missing file shows as the length
  // query's exception, before any request.
  std::forward<OpenFile>(openFile)(file);
  const bool written = ProgramOpenFile(device.get(), file, progress);
  file.Close();
  return written;
}

}  // namespace

bool WriteFileToFlashArea(const CString& terminalPath, const Progress& progress) {
  return Program([&](CFile& file) { file.Open(terminalPath, CFile::modeRead); }, progress);
}

bool WriteHostFileToFlashArea(const std::filesystem::path& hostPath, const Progress& progress) {
  return Program([&](CFile& file) { file.OpenHostFile(hostPath, CFile::modeRead); }, progress);
}

}  // namespace flash

HANDLE OpenNandDriver() {
  return OpenBlockDevice(platform::kFlashDeviceName, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS,
                         FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_NORMAL);
}

bool WriteLogoToFlash(int selector) {
  return flash::WriteFileToFlashArea(CString(selector != 0 ? platform::kSdLogoBin : platform::kFlashLogoBin));
}
