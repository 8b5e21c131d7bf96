#include "platform/icon_resource.h"

#include "platform/bmp_decoder.h"
#include "platform/little_endian.h"

namespace platform {
namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint16_t kIconType = 1;
// Sides are stored in one byte, 0 standing for 256.
constexpr int kMaxIconSide = 256;
// Entries may all point at the same image; the cap keeps a small file from
// asking for thousands of decoded copies.
constexpr std::uint16_t kMaxIconImages = 64;

// Fields of the directory and of each entry.
constexpr std::size_t kReservedField = 0;
constexpr std::size_t kTypeField = 2;
constexpr std::size_t kCountField = 4;
constexpr std::size_t kEntryWidthField = 0;
constexpr std::size_t kEntryHeightField = 1;
constexpr std::size_t kEntryBytesField = 8;
constexpr std::size_t kEntryOffsetField = 12;

int SideFromByte(std::uint8_t stored) { return stored == 0 ? kMaxIconSide : stored; }

// An entry's colour count, planes and bit count are left alone, as writers fill
// them carelessly: the image's own header says what the pixels are.
std::optional<IconImage> DecodeEntry(std::span<const std::byte> icoFile, std::size_t entryAt) {
  const LittleEndianReader in(icoFile);
  const auto width = in.u8(entryAt + kEntryWidthField);
  const auto height = in.u8(entryAt + kEntryHeightField);
  const auto bytes = in.u32(entryAt + kEntryBytesField);
  const auto offset = in.u32(entryAt + kEntryOffsetField);
  if (!width || !height || !bytes || !offset || !in.has(*offset, *bytes)) return std::nullopt;

  auto image = DecodeDib(icoFile.subspan(*offset, *bytes), DibLayout::kIcon);
  if (!image || image->width != SideFromByte(*width) || image->height != SideFromByte(*height)) return std::nullopt;
  return IconImage{image->width, image->height, image->bitCount, std::move(image->pixels)};
}

}  // namespace

std::vector<IconImage> DecodeIconGroup(std::span<const std::byte> icoFile) {
  const LittleEndianReader in(icoFile);
  const auto reserved = in.u16(kReservedField);
  const auto type = in.u16(kTypeField);
  const auto count = in.u16(kCountField);
  if (!reserved || *reserved != 0 || !type || *type != kIconType || !count || *count == 0 || *count > kMaxIconImages ||
      !in.has(kDirectorySize, std::size_t{*count} * kEntrySize)) {
    return {};
  }
  std::vector<IconImage> images;
  for (std::size_t i = 0; i < *count; ++i) {
    auto image = DecodeEntry(icoFile, kDirectorySize + i * kEntrySize);
    if (!image) return {};
    images.push_back(std::move(*image));
  }
  return images;
}

}  // namespace platform
