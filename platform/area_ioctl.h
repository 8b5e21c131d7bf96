#pragma once
// The published interface of the NAND flash block driver "DSK1:": its two
// control codes and the sector request record. The writer builds requests with
// it and the host driver decodes them with it, so both agree by construction.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/little_endian.h"

namespace platform {

inline constexpr std::uint32_t FILE_DEVICE_UNKNOWN = 0x22;
inline constexpr std::uint32_t METHOD_BUFFERED = 0;
inline constexpr std::uint32_t FILE_ANY_ACCESS = 0;

// The platform's rule for control codes: device type, required access, function
// number and transfer method packed into one 32-bit value.
constexpr std::uint32_t CTL_CODE(std::uint32_t deviceType, std::uint32_t function, std::uint32_t method,
                                 std::uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

}  // namespace platform

inline constexpr std::uint32_t IOCTL_AREA_WRITE_SECTOR =
    platform::CTL_CODE(platform::FILE_DEVICE_UNKNOWN, 0xA0A, platform::METHOD_BUFFERED, platform::FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_AREA_WRITE_FINISH =
    platform::CTL_CODE(platform::FILE_DEVICE_UNKNOWN, 0xA0C, platform::METHOD_BUFFERED, platform::FILE_ANY_ACCESS);
// The driver on the terminal answers to these exact values.
static_assert(IOCTL_AREA_WRITE_SECTOR == 0x00222828);
static_assert(IOCTL_AREA_WRITE_FINISH == 0x00222830);

// One request to write SectorCount sectors of an area from Buffer. On the
// terminal Buffer is the buffer's address; on the host it is a token from
// platform::BufferToken, since host addresses do not fit in 32 bits.
struct AREA_SECTOR_REQ {
  std::uint32_t Area = 0;
  std::uint32_t SectorAddr = 0;
  std::uint32_t SectorCount = 0;
  std::uint32_t Buffer = 0;
  friend bool operator==(const AREA_SECTOR_REQ&, const AREA_SECTOR_REQ&) = default;
};

namespace platform {

inline constexpr std::size_t kFlashSectorSize = 512;
inline constexpr std::size_t kAreaSectorReqSize = 16;
// The sector request's output: none, but the driver wants its size said.
inline constexpr std::uint32_t kAreaSectorReqOutputSize = 4;

using AreaSectorReqBytes = std::array<std::byte, kAreaSectorReqSize>;

// Four little-endian 32-bit fields in declaration order, as on the terminal.
inline AreaSectorReqBytes EncodeAreaSectorReq(const AREA_SECTOR_REQ& request) {
  AreaSectorReqBytes bytes{};
  PutU32(&bytes[0], request.Area);
  PutU32(&bytes[4], request.SectorAddr);
  PutU32(&bytes[8], request.SectorCount);
  PutU32(&bytes[12], request.Buffer);
  return bytes;
}

// Nothing unless the bytes are exactly one record.
inline std::optional<AREA_SECTOR_REQ> DecodeAreaSectorReq(std::span<const std::byte> bytes) {
  if (bytes.size() != kAreaSectorReqSize) return std::nullopt;
  const LittleEndianReader reader(bytes);
  return AREA_SECTOR_REQ{*reader.u32(0), *reader.u32(4), *reader.u32(8), *reader.u32(12)};
}

}  // namespace platform
