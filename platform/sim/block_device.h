#pragma once
// Devices opened by name ("DSK1:") and driven with control codes. CreateFileW,
// DeviceIoControl and CloseHandle hand such names and handles to the device of
// the installed host: the simulated flash driver, or what a test installs.

#include "platform/text/wide_text.h"

namespace platform {

class BlockDevice {
 public:
  virtual ~BlockDevice();
  // A handle for the other two calls, or INVALID_HANDLE_VALUE.
  virtual HANDLE Open(WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) = 0;
  virtual bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* bytesReturned) = 0;
  virtual void Close(HANDLE handle) = 0;
};

// Whether CreateFileW's name is a device's rather than a file's ("DSK1:").
bool IsDeviceName(WStringView name);
// The device's own handle wrapped for the caller; INVALID_HANDLE_VALUE when no
// device of that name answers.
HANDLE OpenDevice(WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
bool IsDeviceHandle(HANDLE handle);
// Overlapped requests are not supported: a non-null `overlapped` fails.
BOOL ControlDevice(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                   LPDWORD bytesReturned, LPOVERLAPPED overlapped);
BOOL CloseDevice(HANDLE handle);

}  // namespace platform
