#include "tools/bramble_logo/picture_metadata.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>

#include "platform/formats/little_endian.h"

namespace logo_tool {
namespace {

// JPEG: markers are 0xFF and a code; all but these carry a big-endian length.
constexpr std::uint16_t kStartOfImage = 0xFFD8;
constexpr std::uint8_t kStartOfScan = 0xDA, kEndOfImage = 0xD9, kApp1 = 0xE1, kApp2 = 0xE2;
constexpr bool HasNoLength(std::uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }
// A frame's header (SOF0 to SOF15 but for DHT, JPG and DAC): precision, then height
// and width.
constexpr bool IsFrameHeader(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}
constexpr std::size_t kFrameHeightField = 1, kFrameWidthField = 3;
// PNG: the signature, then IHDR's length and name, then width and height,
// big-endian; GIF: the logical screen's width and height after "GIF89a".
constexpr std::size_t kPngWidthField = 16, kPngHeightField = 20, kGifWidthField = 6, kGifHeightField = 8;
constexpr std::string_view kExifName{"Exif\0\0", 6};
// An ICC profile is cut into numbered chunks, each in an APP2 after the name: its
// number from 1, then how many there are.
constexpr std::string_view kProfileName{"ICC_PROFILE\0", 12};
constexpr std::size_t kChunkHeader = kProfileName.size() + 2;
// TIFF: a byte-order mark, 42, the offset of the first directory; a directory is
// a count, then entries of 12 bytes (tag, type, count, the value or its offset).
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::size_t kFirstDirectoryField = 4, kEntryBytes = 12, kEntryTypeField = 2, kEntryValueField = 8;
constexpr std::uint16_t kOrientationTag = 0x0112, kShortType = 3;

bool StartsWith(std::span<const std::byte> bytes, std::string_view name) {
  return bytes.size() >= name.size() &&
         std::equal(name.begin(), name.end(), bytes.begin(), [](char c, std::byte b) { return std::byte(c) == b; });
}

// Calls `visit(code, body)` for each marker segment before the picture's data,
// until it returns true; a body cut short by the file's end is passed as far as
// it goes.
template <typename Visit>
void ForEachSegment(std::span<const std::byte> jpeg, Visit visit) {
  const platform::OrderedReader reader(jpeg, true);
  if (reader.u16(0) != kStartOfImage) return;
  for (std::size_t at = 2;;) {
    const auto marker = reader.u16(at);
    if (!marker || (*marker >> 8) != 0xFF) return;
    const auto code = static_cast<std::uint8_t>(*marker);
    if (code == kStartOfScan || code == kEndOfImage) return;  // the metadata comes before the picture
    if (code == 0xFF || HasNoLength(code)) {  // a fill byte, or a marker alone
      at += code == 0xFF ? 1 : 2;
      continue;
    }
    const auto length = reader.u16(at + 2);  // counts itself, not the marker
    if (!length || *length < 2 || !reader.has(at + 4, 0)) return;
    if (visit(code, jpeg.subspan(at + 4, std::min<std::size_t>(*length - 2u, jpeg.size() - at - 4)))) return;
    at += 2 + *length;
  }
}

}  // namespace

int TiffOrientation(std::span<const std::byte> tiff) {
  if (tiff.size() < 2 || tiff[0] != tiff[1] || (tiff[0] != std::byte{'I'} && tiff[0] != std::byte{'M'})) return kUpright;
  const platform::OrderedReader reader(tiff, tiff[0] == std::byte{'M'});
  const auto directory = reader.u32(kFirstDirectoryField);
  const auto count = directory ? reader.u16(*directory) : std::nullopt;
  if (reader.u16(2) != kTiffMagic || !count) return kUpright;
  for (std::size_t entry = *directory + 2, i = 0; i < *count && reader.has(entry, kEntryBytes); ++i, entry += kEntryBytes) {
    if (reader.u16(entry) != kOrientationTag) continue;
    const auto value = reader.u16(entry + kEntryValueField);
    const bool valid = reader.u16(entry + kEntryTypeField) == kShortType && value >= kUpright && value <= kLastOrientation;
    return valid ? *value : kUpright;
  }
  return kUpright;
}

int JpegOrientation(std::span<const std::byte> jpeg) {
  int orientation = kUpright;
  ForEachSegment(jpeg, [&](std::uint8_t code, std::span<const std::byte> body) {
    if (code != kApp1 || !StartsWith(body, kExifName)) return false;
    orientation = TiffOrientation(body.subspan(kExifName.size()));
    return true;
  });
  return orientation;
}

std::vector<std::byte> JpegProfile(std::span<const std::byte> jpeg) {
  std::vector<std::span<const std::byte>> chunks;
  bool consistent = true;
  ForEachSegment(jpeg, [&](std::uint8_t code, std::span<const std::byte> body) {
    if (code != kApp2 || !StartsWith(body, kProfileName) || body.size() < kChunkHeader) return false;
    const auto number = std::to_integer<std::size_t>(body[kProfileName.size()]);
    const auto count = std::to_integer<std::size_t>(body[kProfileName.size() + 1]);
    if (chunks.empty()) chunks.resize(count);
    consistent = consistent && count == chunks.size() && number >= 1 && number <= count && chunks[number - 1].empty();
    if (consistent) chunks[number - 1] = body.subspan(kChunkHeader);
    return !consistent;
  });
  std::vector<std::byte> profile;
  if (!consistent || std::ranges::any_of(chunks, [](auto chunk) { return chunk.empty(); })) return profile;
  for (const auto chunk : chunks) profile.insert(profile.end(), chunk.begin(), chunk.end());
  return profile;
}

std::optional<PictureSize> HeaderSize(PictureFormat format, std::span<const std::byte> head) {
  const auto size = [](auto width, auto height) -> std::optional<PictureSize> {
    constexpr std::int64_t kMost = INT32_MAX;  // PNG's own limit, and more than a decoder's int holds
    if (!width || !height || *width > kMost || *height > kMost) return std::nullopt;
    return PictureSize{*width, *height};
  };
  switch (format) {
    case PictureFormat::kPng: {
      const platform::OrderedReader reader(head, true);
      return size(reader.u32(kPngWidthField), reader.u32(kPngHeightField));
    }
    case PictureFormat::kGif: {
      const platform::LittleEndianReader reader(head);
      return size(reader.u16(kGifWidthField), reader.u16(kGifHeightField));
    }
    case PictureFormat::kJpeg: {
      std::optional<PictureSize> found;
      ForEachSegment(head, [&](std::uint8_t code, std::span<const std::byte> body) {
        if (!IsFrameHeader(code)) return false;
        const platform::OrderedReader reader(body, true);
        found = size(reader.u16(kFrameWidthField), reader.u16(kFrameHeightField));
        return true;
      });
      return found;
    }
    default: return std::nullopt;
  }
}

}  // namespace logo_tool
