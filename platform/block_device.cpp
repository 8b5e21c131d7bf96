#include "platform/block_device.h"

#include <map>
#include <stdexcept>

#include "platform/flash_driver.h"

namespace platform {
namespace {

BlockDevice* g_override = nullptr;

constexpr std::uint32_t kFirstToken = 0x00100000;
constexpr std::uint32_t kTokenStep = 0x1000;
constexpr std::uint32_t kLastToken = 0xFFFFF000;

std::map<std::uint32_t, std::span<std::byte>>& Tokens() {
  static std::map<std::uint32_t, std::span<std::byte>> tokens;
  return tokens;
}

// The lowest free value, so a program that holds one buffer at a time always
// shows the same token.
std::uint32_t FreeToken() {
  std::uint32_t candidate = kFirstToken;
  for (const auto& entry : Tokens()) {
    if (entry.first != candidate) break;
    if (candidate == kLastToken) throw std::length_error("no free buffer token");
    candidate += kTokenStep;
  }
  return candidate;
}

}  // namespace

BlockDevice::~BlockDevice() = default;

BlockDevice& CurrentBlockDevice() {
  if (g_override) return *g_override;
  static HostFlashDriver driver;
  return driver;
}

ScopedBlockDevice::ScopedBlockDevice(BlockDevice& device) : m_previous(g_override) { g_override = &device; }
ScopedBlockDevice::~ScopedBlockDevice() { g_override = m_previous; }

BufferToken::BufferToken(std::span<std::byte> buffer) : m_value(FreeToken()) { Tokens().emplace(m_value, buffer); }
BufferToken::~BufferToken() { Tokens().erase(m_value); }

std::span<std::byte> ResolveBufferToken(std::uint32_t token) {
  const auto found = Tokens().find(token);
  return found == Tokens().end() ? std::span<std::byte>() : found->second;
}

}  // namespace platform

HANDLE OpenBlockDevice(std::u16string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return platform::CurrentBlockDevice().Open(name, access, share, disposition, flags);
}

// An invalid handle never reaches a driver, as on the platform.
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytesReturned, void* overlapped) {
  if (device == INVALID_HANDLE_VALUE || device == nullptr || overlapped != nullptr) return FALSE;
  return platform::CurrentBlockDevice().Control(device, code, in, inSize, out, outSize, bytesReturned) ? TRUE : FALSE;
}

BOOL CloseHandle(HANDLE device) {
  if (device == INVALID_HANDLE_VALUE || device == nullptr) return FALSE;
  platform::CurrentBlockDevice().Close(device);
  return TRUE;
}
