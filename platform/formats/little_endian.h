#pragma once
// The one reader of little-endian header fields: bounds-checked, built from
// single bytes, never a cast over a buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

class LittleEndianReader {
 public:
  explicit LittleEndianReader(std::span<const std::byte> bytes) : m_bytes(bytes) {}
  LittleEndianReader(const void* data, std::size_t size)
      : m_bytes(static_cast<const std::byte*>(data), size) {}

  std::size_t size() const { return m_bytes.size(); }
  bool has(std::size_t offset, std::size_t count) const {
    return offset <= m_bytes.size() && count <= m_bytes.size() - offset;
  }

  std::optional<std::uint8_t> u8(std::size_t offset) const {
    if (!has(offset, 1)) return std::nullopt;
    return std::to_integer<std::uint8_t>(m_bytes[offset]);
  }
  std::optional<std::uint16_t> u16(std::size_t offset) const {
    if (!has(offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(byte(offset) | (byte(offset + 1) << 8));
  }
  std::optional<std::uint32_t> u32(std::size_t offset) const {
    if (!has(offset, 4)) return std::nullopt;
    return byte(offset) | (byte(offset + 1) << 8) | (byte(offset + 2) << 16) | (byte(offset + 3) << 24);
  }
  std::optional<std::int32_t> i32(std::size_t offset) const {
    auto value = u32(offset);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
  }

 private:
  std::uint32_t byte(std::size_t offset) const { return std::to_integer<std::uint32_t>(m_bytes[offset]); }
  std::span<const std::byte> m_bytes;
};

// The same fields in the byte order a format names for itself (TIFF and the EXIF
// block of a JPEG say theirs; JPEG's own lengths are big-endian), read through the
// little-endian reader so that every offset is checked once, there.
class OrderedReader {
 public:
  OrderedReader(std::span<const std::byte> bytes, bool bigEndian) : m_reader(bytes), m_bigEndian(bigEndian) {}

  bool has(std::size_t offset, std::size_t count) const { return m_reader.has(offset, count); }
  std::optional<std::uint16_t> u16(std::size_t offset) const {
    auto value = m_reader.u16(offset);
    if (value && m_bigEndian) *value = static_cast<std::uint16_t>(*value >> 8 | *value << 8);
    return value;
  }
  std::optional<std::uint32_t> u32(std::size_t offset) const {
    auto value = m_reader.u32(offset);
    if (value && m_bigEndian) {
      *value = (*value >> 24) | ((*value >> 8) & 0xFF00) | ((*value << 8) & 0xFF0000) | (*value << 24);
    }
    return value;
  }

 private:
  LittleEndianReader m_reader;
  bool m_bigEndian;
};

// Writes the same fields, for the request record and for tests that build headers.
inline void PutU16(std::byte* at, std::uint16_t value) {
  at[0] = static_cast<std::byte>(value & 0xFF);
  at[1] = static_cast<std::byte>(value >> 8);
}
inline void PutU32(std::byte* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

}  // namespace platform
