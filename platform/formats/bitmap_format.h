#pragma once
// Where the fields of a Windows bitmap file lie: a 14-byte file header, then an
// information header whose first field is its own size. Every reader of bitmaps
// (the converter, the pre-check, the preview's loader, the host tools) takes its
// offsets from here and reads them through the LittleEndianReader.

#include <cstddef>
#include <cstdint>

namespace bmp {

// File header.
inline constexpr std::size_t kSignatureField = 0;  // "BM"
inline constexpr std::size_t kFileSizeField = 2;
inline constexpr std::size_t kPixelOffsetField = 10;
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::uint16_t kSignature = 0x4D42;  // "BM" read little-endian

// Information header, counted from its own start (file offset 14).
inline constexpr std::size_t kInfoSizeField = 0;
inline constexpr std::size_t kWidthField = 4;
inline constexpr std::size_t kHeightField = 8;  // positive: bottom row stored first
inline constexpr std::size_t kPlanesField = 12;
inline constexpr std::size_t kBitCountField = 14;
inline constexpr std::size_t kCompressionField = 16;
inline constexpr std::size_t kImageSizeField = 20;
inline constexpr std::size_t kXResolutionField = 24;
inline constexpr std::size_t kYResolutionField = 28;
inline constexpr std::size_t kColoursUsedField = 32;
inline constexpr std::size_t kMasksField = 40;  // red, green, blue: in the longer headers

// Information header kinds, by the size each stores in its first field.
inline constexpr std::uint32_t kOs2InfoSize = 12;
inline constexpr std::uint32_t kInfoSize = 40;
inline constexpr std::uint32_t kInfoWithMasksSize = 52;
inline constexpr std::uint32_t kInfoWithAlphaMaskSize = 56;
inline constexpr std::uint32_t kV4Size = 108;
inline constexpr std::uint32_t kV5Size = 124;

// A plain bitmap as writers make it: the file header and a 40-byte information
// header, no colour table, the pixels right behind.
inline constexpr std::size_t kPlainHeaderSize = kFileHeaderSize + kInfoSize;  // 54
inline constexpr std::uint16_t kPlanes = 1;

// Compression field values.
inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitFields = 3;
inline constexpr std::uint32_t kJpeg = 4;
inline constexpr std::uint32_t kPng = 5;
inline constexpr std::uint32_t kAlphaBitFields = 6;

// A field of the information header as a file offset.
constexpr std::size_t InFile(std::size_t infoField) { return kFileHeaderSize + infoField; }

}  // namespace bmp
