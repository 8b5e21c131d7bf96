// SHLoadDIBitmap on Windows: the terminal's loader gives a DIB section in the
// file's own format, so GetObjectW reports the file's own width and bit count.
// The file is first read by the simulator's bitmap loader, which refuses what the
// preview must not be given; the platform then gets only headers it knows.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"
#include "platform/sim/bitmap_loader.h"
#include "platform/sim/host_files.h"
#include "platform/sim/terminal.h"

HBITMAP SHLoadDIBitmap(const WCHAR* fileName) {
  using namespace platform;
  const auto hostPath = fileName ? FindTerminalPath(fileName) : std::nullopt;
  const HostFile file = hostPath ? ReadWholeHostFile(*hostPath, kMaxLoadedBitmapFileBytes) : HostFile{};
  const auto decoded = file.status == HostFile::Status::kRead ? DecodeBitmap(file.bytes) : std::nullopt;
  if (!decoded) return nullptr;

  const LittleEndianReader in(file.bytes);
  const std::size_t pixelOffset = *in.u32(bmp::kPixelOffsetField);
  std::vector<std::byte> info(file.bytes.begin() + bmp::kFileHeaderSize, file.bytes.begin() + static_cast<std::ptrdiff_t>(pixelOffset));
  // The 52- and 56-byte headers are a 40-byte one with its masks behind it, which
  // is how the platform takes bit-field masks; a 56-byte header's alpha mask goes.
  const std::uint32_t headerSize = *in.u32(bmp::InFile(bmp::kInfoSizeField));
  if (headerSize == bmp::kInfoWithMasksSize || headerSize == bmp::kInfoWithAlphaMaskSize) {
    if (headerSize == bmp::kInfoWithAlphaMaskSize) {
      info.erase(info.begin() + bmp::kInfoWithMasksSize, info.begin() + bmp::kInfoWithAlphaMaskSize);
    }
    PutU32(info.data(), bmp::kInfoSize);
  }
  void* bits = nullptr;
  const HBITMAP bitmap =
      ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  const std::size_t stride = (static_cast<std::size_t>(decoded->width) * decoded->bitCount + 31) / 32 * 4;
  std::memcpy(bits, file.bytes.data() + pixelOffset, stride * static_cast<std::size_t>(std::abs(decoded->height)));
  return bitmap;
}
