#pragma once
// The host on Linux without windows: its files, over descriptors. The bramble-logo
// tool, the benchmarks and the fuzz targets install it as it is; the program and
// the tests install it with a window system (platform/window).

#include "platform/framework/host.h"

namespace platform {

class PosixHost : public Host {
 public:
  std::unique_ptr<HostIoFile> OpenFile(const std::filesystem::path& path, HostFileMode mode, bool* created) override;
  std::unique_ptr<HostIoFile> LockFile(const std::filesystem::path& path, HostLockResult* result) override;
  unsigned long ProcessId() override;
};

}  // namespace platform
