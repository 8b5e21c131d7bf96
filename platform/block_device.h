#pragma once
// Block devices opened by name ("DSK1:") and driven with control codes, in the
// shape of the platform's CreateFileW / DeviceIoControl / CloseHandle. The calls
// go to the device in use: the host flash driver over the terminal folder, or
// whatever a test installs with ScopedBlockDevice.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace platform {

class BlockDevice {
 public:
  virtual ~BlockDevice();
  // A handle for the other two calls, or INVALID_HANDLE_VALUE.
  virtual HANDLE Open(std::u16string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags) = 0;
  virtual bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* bytesReturned) = 0;
  virtual void Close(HANDLE handle) = 0;
};

// The device in use; by default the host flash driver of the current terminal root.
BlockDevice& CurrentBlockDevice();

// Puts another device in use while it lives; tests use it.
class ScopedBlockDevice {
 public:
  explicit ScopedBlockDevice(BlockDevice& device);
  ~ScopedBlockDevice();
  ScopedBlockDevice(const ScopedBlockDevice&) = delete;
  ScopedBlockDevice& operator=(const ScopedBlockDevice&) = delete;

 private:
  BlockDevice* m_previous;
};

// A request record has 32 bits for its buffer's address, a host address has 64.
// A token names the buffer in the record instead, for as long as it lives. Tokens
// are non-zero and look like addresses (0x00100000, 0x00101000, ...), since the
// writer's failure line prints them as one.
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

}  // namespace platform

// Opens a device by name, as CreateFileW does for "DSK1:".
HANDLE OpenBlockDevice(std::u16string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
// Overlapped requests are not supported: a non-null `overlapped` fails.
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* bytesReturned, void* overlapped);
BOOL CloseHandle(HANDLE device);
