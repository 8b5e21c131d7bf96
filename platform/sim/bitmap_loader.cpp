#include "platform/sim/bitmap_loader.h"

#include <array>
#include <bit>
#include <limits>
#include <system_error>

#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"
#include "platform/sim/host_files.h"

namespace platform {
namespace {

using namespace bmp;

constexpr std::size_t kMasksSize = 12;        // red, green, blue
constexpr std::size_t kPaletteEntrySize = 4;  // blue, green, red, unused

constexpr std::uint32_t kOpaque = 0xFF000000;
constexpr std::uint32_t kOpaqueBlack = kOpaque;

struct ColourMasks {
  std::uint32_t red;
  std::uint32_t green;
  std::uint32_t blue;
};
constexpr ColourMasks kDefaultMasks16 = {0x7C00, 0x03E0, 0x001F};
constexpr ColourMasks kDefaultMasks32 = {0x00FF0000, 0x0000FF00, 0x000000FF};

struct InfoHeader {
  std::uint32_t size;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t planes;
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::uint32_t coloursUsed;
  std::optional<ColourMasks> ownMasks;  // carried inside the longer headers
};

std::optional<ColourMasks> ReadMasks(const LittleEndianReader& in, std::size_t at) {
  const auto red = in.u32(at);
  const auto green = in.u32(at + 4);
  const auto blue = in.u32(at + 8);
  if (!red || !green || !blue) return std::nullopt;
  return ColourMasks{*red, *green, *blue};
}

// The 40 bytes that every Windows header starts with.
std::optional<InfoHeader> DecodeInfoHeader(const LittleEndianReader& in) {
  const auto size = in.u32(kInfoSizeField);
  const auto width = in.i32(kWidthField);
  const auto height = in.i32(kHeightField);
  const auto planes = in.u16(kPlanesField);
  const auto bitCount = in.u16(kBitCountField);
  const auto compression = in.u32(kCompressionField);
  const auto coloursUsed = in.u32(kColoursUsedField);
  if (!size || !width || !height || !planes || !bitCount || !compression || !coloursUsed) return std::nullopt;
  return InfoHeader{*size, *width, *height, *planes, *bitCount, *compression, *coloursUsed, std::nullopt};
}

// The 52- and 56-byte headers, v4 and v5 add the masks to the info header. What
// they add after the masks (alpha mask, colour space, gamma, rendering intent,
// profile) is not used: the display shows plain RGB.
std::optional<InfoHeader> DecodeHeaderWithMasks(const LittleEndianReader& in) {
  auto header = DecodeInfoHeader(in);
  const auto masks = ReadMasks(in, kMasksField);
  if (!header || !masks) return std::nullopt;
  header->ownMasks = masks;
  return header;
}

std::optional<InfoHeader> DecodeHeader(const LittleEndianReader& in) {
  const auto size = in.u32(0);
  if (!size || !in.has(0, *size)) return std::nullopt;
  switch (*size) {
    case kInfoSize:
      return DecodeInfoHeader(in);
    case kInfoWithMasksSize:
    case kInfoWithAlphaMaskSize:
    case kV4Size:
    case kV5Size:
      return DecodeHeaderWithMasks(in);
    default:  // OS/2 headers (12, 16, 64 bytes) and anything unknown
      return std::nullopt;
  }
}

bool IsPaletted(std::uint16_t bitCount) { return bitCount <= 8; }

bool IsSupportedFormat(const InfoHeader& header) {
  switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      return header.compression == kRgb;
    case 16:
    case 32:
      return header.compression == kRgb ||
             header.compression == kBitFields;
    default:
      return false;
  }
}

// The number of pixel rows of the picture, or nothing for a shape the loader
// refuses. Height is checked in 64 bits, as negating INT_MIN would overflow.
std::optional<std::uint32_t> PictureRows(const InfoHeader& header) {
  if (header.width <= 0 || header.width > kMaxBitmapSide) return std::nullopt;
  std::int64_t rows = header.height;
  if (rows < 0) rows = -rows;
  if (rows == 0 || rows > kMaxBitmapSide) return std::nullopt;
  // What the picture costs once decoded, four bytes a pixel, bounds the work too.
  if (std::uint64_t{static_cast<std::uint32_t>(header.width)} * static_cast<std::uint64_t>(rows) * 4 > kMaxDecodedBytes) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(rows);
}

bool IsSingleRun(std::uint32_t mask) {
  if (mask == 0) return false;
  const std::uint32_t run = mask >> std::countr_zero(mask);
  return (run & (run + 1)) == 0;
}

// A mask must pick one run of bits of its own within the pixel; anything else is
// a damaged file rather than a colour format.
bool AreUsableMasks(const ColourMasks& masks, std::uint16_t bitCount) {
  const std::uint64_t pixelBits = (std::uint64_t{1} << bitCount) - 1;
  for (const std::uint32_t mask : {masks.red, masks.green, masks.blue}) {
    if (!IsSingleRun(mask) || (mask & ~pixelBits) != 0) return false;
  }
  return (masks.red & masks.green) == 0 && (masks.red & masks.blue) == 0 && (masks.green & masks.blue) == 0;
}

// One colour channel of a 16- or 32-bit pixel, widened or narrowed to 8 bits with
// rounding, so that a full 5-bit channel is 255 and not 248.
class Channel {
 public:
  explicit Channel(std::uint32_t mask)
      : m_mask(mask), m_shift(std::countr_zero(mask)), m_max(mask >> std::countr_zero(mask)) {}
  std::uint32_t operator()(std::uint32_t word) const {
    const std::uint64_t value = (word & m_mask) >> m_shift;
    return static_cast<std::uint32_t>((value * 255 + m_max / 2) / m_max);
  }

 private:
  std::uint32_t m_mask;
  int m_shift;
  std::uint64_t m_max;
};

struct PixelFormat {
  std::uint16_t bitCount;
  std::vector<std::uint32_t> palette;  // 1, 4 and 8 bits
  std::array<Channel, 3> channels;     // 16 and 32 bits: red, green, blue
};

std::uint32_t ByteAt(const LittleEndianReader& in, std::size_t at) { return in.u8(at).value_or(0); }

std::vector<std::uint32_t> ReadPalette(const LittleEndianReader& in, std::uint64_t at, std::uint32_t entries) {
  std::vector<std::uint32_t> palette(entries);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t entry = static_cast<std::size_t>(at + std::uint64_t{i} * kPaletteEntrySize);
    palette[i] = kOpaque | (ByteAt(in, entry + 2) << 16) | (ByteAt(in, entry + 1) << 8) | ByteAt(in, entry);
  }
  return palette;
}

std::uint32_t PalettePixel(const PixelFormat& format, std::span<const std::byte> row, std::uint32_t x) {
  const std::uint32_t perByte = 8u / format.bitCount;
  const std::uint32_t byte = std::to_integer<std::uint32_t>(row[x / perByte]);
  const std::uint32_t shift = 8u - format.bitCount * (x % perByte + 1);
  const std::uint32_t index = (byte >> shift) & ((1u << format.bitCount) - 1);
  // A damaged file may point past its colour table; the platform shows black.
  return index < format.palette.size() ? format.palette[index] : kOpaqueBlack;
}

std::uint32_t MaskedPixel(const PixelFormat& format, std::uint32_t word) {
  const auto& [red, green, blue] = format.channels;
  return kOpaque | (red(word) << 16) | (green(word) << 8) | blue(word);
}

void DecodeRow(const PixelFormat& format, std::span<const std::byte> row, std::span<std::uint32_t> out) {
  const LittleEndianReader words(row);
  for (std::uint32_t x = 0; x < out.size(); ++x) {
    switch (format.bitCount) {
      case 16:
        out[x] = MaskedPixel(format, words.u16(x * 2).value_or(0));
        break;
      case 24:
        out[x] = kOpaque | (ByteAt(words, x * 3 + 2) << 16) | (ByteAt(words, x * 3 + 1) << 8) | ByteAt(words, x * 3);
        break;
      case 32:
        out[x] = MaskedPixel(format, words.u32(x * 4).value_or(0));
        break;
      default:
        out[x] = PalettePixel(format, row, x);
        break;
    }
  }
}

std::uint64_t Stride(std::uint32_t width, std::uint16_t bitCount) {
  return (std::uint64_t{width} * bitCount + 31) / 32 * 4;
}

// Rows stored bottom-up unless `topDown`; the result is top row first.
std::vector<std::uint32_t> DecodeRows(const PixelFormat& format, std::span<const std::byte> rows, std::uint32_t width,
                                      std::uint32_t height, bool topDown) {
  const std::size_t stride = static_cast<std::size_t>(Stride(width, format.bitCount));
  std::vector<std::uint32_t> pixels(std::size_t{width} * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint32_t stored = topDown ? y : height - 1 - y;
    DecodeRow(format, rows.subspan(stored * stride, stride), std::span(pixels).subspan(std::size_t{y} * width, width));
  }
  return pixels;
}

std::optional<PixelFormat> ReadPixelFormat(const InfoHeader& header, const LittleEndianReader& in,
                                           std::uint64_t& tableOffset) {
  ColourMasks masks = header.bitCount == 16 ? kDefaultMasks16 : kDefaultMasks32;
  tableOffset = header.size;
  if (header.compression == kBitFields) {
    // After a plain info header the three masks follow it, ahead of the colour table.
    auto fileMasks = header.ownMasks ? header.ownMasks : ReadMasks(in, header.size);
    if (!fileMasks || !AreUsableMasks(*fileMasks, header.bitCount)) return std::nullopt;
    if (!header.ownMasks) tableOffset += kMasksSize;
    masks = *fileMasks;
  }
  return PixelFormat{header.bitCount, {}, {Channel(masks.red), Channel(masks.green), Channel(masks.blue)}};
}

// The bitmap whose info header starts `dib`, its rows `pixelOffset` bytes in.
std::optional<DecodedBitmap> DecodeDib(std::span<const std::byte> dib, std::uint64_t pixelOffset) {
  const LittleEndianReader in(dib);
  const auto header = DecodeHeader(in);
  if (!header || header->planes != 1 || !IsSupportedFormat(*header)) return std::nullopt;
  const auto rows = PictureRows(*header);
  if (!rows) return std::nullopt;
  const auto width = static_cast<std::uint32_t>(header->width);

  std::uint64_t tableOffset = 0;
  auto format = ReadPixelFormat(*header, in, tableOffset);
  if (!format) return std::nullopt;

  // Past 8 bits the colour table is optional and only a hint for palette
  // displays, but it still sits between the header and the rows.
  std::uint64_t tableEntries = header->coloursUsed;
  if (IsPaletted(header->bitCount)) {
    const std::uint32_t maxEntries = 1u << header->bitCount;
    if (tableEntries == 0) tableEntries = maxEntries;
    if (tableEntries > maxEntries) return std::nullopt;
  }
  if (pixelOffset < tableOffset + tableEntries * kPaletteEntrySize) return std::nullopt;

  // Every size is checked against the real bytes before anything is allocated.
  const std::uint64_t colourBytes = Stride(width, header->bitCount) * *rows;
  if (pixelOffset > dib.size() || colourBytes > dib.size() - pixelOffset) return std::nullopt;

  if (IsPaletted(header->bitCount)) {
    format->palette = ReadPalette(in, tableOffset, static_cast<std::uint32_t>(tableEntries));
  }
  return DecodedBitmap{header->width, header->height, header->bitCount,
                       DecodeRows(*format, dib.subspan(static_cast<std::size_t>(pixelOffset)), width, *rows,
                                  header->height < 0)};
}

}  // namespace

std::optional<DecodedBitmap> DecodeBitmap(std::span<const std::byte> file) {
  // The file header's size field is often wrong and is not needed: every check
  // below is made against the real number of bytes.
  const LittleEndianReader in(file);
  const auto signature = in.u16(kSignatureField);
  const auto pixelOffset = in.u32(kPixelOffsetField);
  if (!signature || *signature != kSignature || !pixelOffset || *pixelOffset < kFileHeaderSize) return std::nullopt;
  return DecodeDib(file.subspan(kFileHeaderSize), *pixelOffset - kFileHeaderSize);
}

std::optional<DecodedBitmap> LoadBitmapFile(const std::filesystem::path& hostPath) {
  const HostFile file = ReadWholeHostFile(hostPath, kMaxLoadedBitmapFileBytes);
  if (file.status != HostFile::Status::kRead) return std::nullopt;
  return DecodeBitmap(file.bytes);
}

}  // namespace platform
