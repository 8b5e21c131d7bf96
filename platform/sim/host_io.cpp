#include "platform/sim/host_io.h"

#include "platform/sim/surroundings.h"

namespace platform {

HostIo HostIo::Open(const std::filesystem::path& path, Mode mode, bool* created) {
  if (created) *created = false;
  HostFiles* files = CurrentSurroundings().hostFiles;
  return files ? HostIo(files->Open(path, mode, created)) : HostIo();
}

HostIo HostIo::Lock(const std::filesystem::path& path, LockResult* result) {
  if (result) *result = LockResult::kUnavailable;
  HostFiles* files = CurrentSurroundings().hostFiles;
  return files ? HostIo(files->Lock(path, result)) : HostIo();
}

unsigned long HostProcessId() {
  HostFiles* files = CurrentSurroundings().hostFiles;
  return files ? files->ProcessId() : 0;
}

}  // namespace platform
