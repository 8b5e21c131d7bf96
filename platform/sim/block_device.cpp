#include "platform/sim/block_device.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/sim/flash_driver.h"
#include "platform/framework/host.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace {

struct OpenedDevice {
  BlockDevice* device;
  HANDLE handle;  // the device's own
};

std::vector<std::unique_ptr<OpenedDevice>>& OpenedDevices() {
  static std::vector<std::unique_ptr<OpenedDevice>> devices;
  return devices;
}

OpenedDevice* FindOpened(HANDLE handle) {
  for (const auto& opened : OpenedDevices()) {
    if (opened.get() == handle) return opened.get();
  }
  return nullptr;
}

BlockDevice& FlashDevice() {
  if (BlockDevice* installed = CurrentHost().flashDevice) return *installed;
  static HostFlashDriver driver;
  return driver;
}

}  // namespace

BlockDevice::~BlockDevice() = default;

bool IsDeviceName(WStringView name) { return !name.empty() && name.back() == _T(':') && name.find(_T('\\')) == WStringView::npos; }

HANDLE OpenDevice(WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (!SameNameNoCase(name, WStringView(kFlashDeviceName))) return INVALID_HANDLE_VALUE;
  BlockDevice& device = FlashDevice();
  const HANDLE handle = device.Open(name, access, share, disposition, flags);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  OpenedDevices().push_back(std::make_unique<OpenedDevice>(OpenedDevice{&device, handle}));
  return OpenedDevices().back().get();
}

bool IsDeviceHandle(HANDLE handle) { return FindOpened(handle) != nullptr; }

BOOL ControlDevice(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                   LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  OpenedDevice* opened = FindOpened(handle);
  if (!opened || overlapped) return FALSE;
  return opened->device->Control(opened->handle, code, in, inSize, out, outSize, bytesReturned) ? TRUE : FALSE;
}

BOOL CloseDevice(HANDLE handle) {
  OpenedDevice* opened = FindOpened(handle);
  if (!opened) return FALSE;
  opened->device->Close(opened->handle);
  std::erase_if(OpenedDevices(), [opened](const auto& entry) { return entry.get() == opened; });
  return TRUE;
}

}  // namespace platform
