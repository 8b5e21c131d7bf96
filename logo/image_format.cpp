#include "logo/image_format.h"

#include <algorithm>
#include <new>

#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"

namespace logo {
namespace {

// The stored row that holds image row `imageRow` (rows are stored bottom first),
// cut short where the pixel data ends.
std::span<const std::byte> StoredRow(std::span<const std::byte> pixelData, std::size_t imageRow) {
  if (imageRow >= static_cast<std::size_t>(kLogoHeight)) return {};
  const std::size_t start = (static_cast<std::size_t>(kLogoHeight) - 1 - imageRow) * kSourceRowBytes;
  if (start >= pixelData.size()) return {};
  return pixelData.subspan(start, std::min(kSourceRowBytes, pixelData.size() - start));
}

unsigned ByteOrZero(std::span<const std::byte> row, std::size_t index) {
  return index < row.size() ? std::to_integer<unsigned>(row[index]) : 0u;
}

}  // namespace

std::optional<BitmapHeader> ReadBitmapHeader(std::span<const std::byte> file) {
  const platform::LittleEndianReader reader(file);
  if (!reader.has(0, kBitmapHeaderBytes)) return std::nullopt;
  BitmapHeader header;
  header.signature = reader.u16(bmp::kSignatureField) == bmp::kSignature;
  header.pixelDataOffset = *reader.u32(bmp::kPixelOffsetField);
  header.width = *reader.i32(bmp::InFile(bmp::kWidthField));
  header.height = *reader.i32(bmp::InFile(bmp::kHeightField));
  header.bitCount = *reader.u16(bmp::InFile(bmp::kBitCountField));
  return header;
}

bool HasLogoSize(const BitmapHeader& header) { return header.width == kLogoWidth && header.height == kLogoHeight; }

bool HasLogoGeometry(const BitmapHeader& header) { return HasLogoSize(header) && header.bitCount == kLogoBitCount; }

void LogoRowFromPixels(std::span<const std::byte> pixelData, std::size_t imageRow,
                       std::span<std::byte, kLogoRowBytes> out) {
  const auto row = StoredRow(pixelData, imageRow);
  if (row.size() == kSourceRowBytes) {
    // The whole row is there: the common case, kept free of per-byte checks.
    for (std::size_t x = 0; x < static_cast<std::size_t>(kLogoWidth); ++x) {
      const std::byte* in = row.data() + x * kSourcePixelBytes;
      std::byte* pixel = out.data() + x * kLogoPixelBytes;
      pixel[0] = in[0];
      pixel[1] = in[1];
      pixel[2] = in[2];
      pixel[3] = std::byte{0};
    }
    return;
  }
  std::fill(out.begin(), out.end(), std::byte{0});
  for (std::size_t i = 0; i < row.size(); ++i) {
    out[i / kSourcePixelBytes * kLogoPixelBytes + i % kSourcePixelBytes] = row[i];
  }
}

void StartupRowFromPixels(std::span<const std::byte> pixelData, std::size_t imageRow,
                          std::span<std::byte, kStartupRowBytes> out) {
  const auto row = StoredRow(pixelData, imageRow);
  for (std::size_t x = 0; x < static_cast<std::size_t>(kLogoWidth); ++x) {
    const std::size_t at = x * kSourcePixelBytes;
    const unsigned first = ByteOrZero(row, at);   // blue in a standard bitmap
    const unsigned second = ByteOrZero(row, at + 1);
    const unsigned third = ByteOrZero(row, at + 2);
    const unsigned value = ((third & 0xF8u) << 8) | ((second & 0xFCu) << 3) | (first >> 3);
    out[x * kStartupPixelBytes] = static_cast<std::byte>(value & 0xFFu);
    out[x * kStartupPixelBytes + 1] = static_cast<std::byte>(value >> 8);
  }
}

std::vector<std::byte> LogoImageFromPixels(std::span<const std::byte> pixelData) {
  std::vector<std::byte> image(kLogoFileBytes);
  for (std::size_t y = 0; y < static_cast<std::size_t>(kLogoHeight); ++y) {
    LogoRowFromPixels(pixelData, y, std::span<std::byte, kLogoRowBytes>(image.data() + y * kLogoRowBytes, kLogoRowBytes));
  }
  return image;
}

std::vector<std::byte> StartupImageFromPixels(std::span<const std::byte> pixelData) {
  std::vector<std::byte> image(kStartupFileBytes);
  for (std::size_t y = 0; y < static_cast<std::size_t>(kLogoHeight); ++y) {
    StartupRowFromPixels(pixelData, y,
                         std::span<std::byte, kStartupRowBytes>(image.data() + y * kStartupRowBytes, kStartupRowBytes));
  }
  return image;
}

std::unique_ptr<std::byte[]> TryAllocateBytes(std::size_t size) {
  return std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[size]);
}

}  // namespace logo
