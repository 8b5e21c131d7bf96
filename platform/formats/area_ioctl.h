#pragma once
// The published interface of the NAND flash block driver "DSK1:": its two
// control codes and the sector request record. The writer builds requests with
// it and the simulated driver decodes them with it, so both agree by
// construction.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/formats/little_endian.h"
#include "platform/api/windows_api.h"

inline constexpr DWORD IOCTL_AREA_WRITE_SECTOR = CTL_CODE(FILE_DEVICE_UNKNOWN, 0xA0A, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr DWORD IOCTL_AREA_WRITE_FINISH = CTL_CODE(FILE_DEVICE_UNKNOWN, 0xA0C, METHOD_BUFFERED, FILE_ANY_ACCESS);
// The driver on the terminal answers to these exact values.
static_assert(IOCTL_AREA_WRITE_SECTOR == 0x00222828);
static_assert(IOCTL_AREA_WRITE_FINISH == 0x00222830);

// One request to write SectorCount sectors of an area from Buffer. On the
// terminal Buffer is the buffer's address; on a host with wider addresses it is a
// token that the simulated driver resolves (BufferToken below).
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
// The sector request has no output, but the driver wants its size said.
inline constexpr DWORD kAreaSectorReqOutputSize = 4;

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

// A request record has 32 bits for its buffer's address, a host address may have
// 64. A token names the buffer in the record instead, for as long as it lives,
// and the driver resolves it; the table of live tokens is the simulated driver's
// (platform/sim/buffer_tokens.cpp). Tokens are non-zero and look like addresses
// (0x00100000, 0x00101000, ...), since the writer's failure line prints them as one.
class BufferToken {
 public:
  explicit BufferToken(std::span<std::byte> buffer);
  ~BufferToken();
  BufferToken(const BufferToken&) = delete;
  BufferToken& operator=(const BufferToken&) = delete;
  std::uint32_t value() const { return m_value; }

 private:
  std::uint32_t m_value;
};

// The buffer of a live token; empty for any other value.
std::span<std::byte> ResolveBufferToken(std::uint32_t token);

// Nothing unless the bytes are exactly one record.
inline std::optional<AREA_SECTOR_REQ> DecodeAreaSectorReq(std::span<const std::byte> bytes) {
  if (bytes.size() != kAreaSectorReqSize) return std::nullopt;
  const LittleEndianReader reader(bytes);
  return AREA_SECTOR_REQ{*reader.u32(0), *reader.u32(4), *reader.u32(8), *reader.u32(12)};
}

}  // namespace platform
