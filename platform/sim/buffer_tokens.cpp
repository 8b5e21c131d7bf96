// The simulated driver's table of the buffers that requests name by token.

#include "platform/formats/area_ioctl.h"

#include <map>
#include <stdexcept>

namespace platform {
namespace {

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

BufferToken::BufferToken(std::span<std::byte> buffer) : m_value(FreeToken()) { Tokens().emplace(m_value, buffer); }
BufferToken::~BufferToken() { Tokens().erase(m_value); }

std::span<std::byte> ResolveBufferToken(std::uint32_t token) {
  const auto found = Tokens().find(token);
  return found == Tokens().end() ? std::span<std::byte>() : found->second;
}

}  // namespace platform
