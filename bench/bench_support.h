#pragma once
// What the benchmarks share: the standard logo bitmap, whole processes timed as a
// user starts them, and medians.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "logo/image_format.h"
#include "platform/formats/little_endian.h"

extern char** environ;

namespace bench {

inline constexpr std::size_t kBitmapHeaderBytes = 54;

// An 800 x 480 24-bit bitmap with the classic 54-byte header and a pattern in
// which neighbouring rows differ.
inline std::vector<std::byte> StandardBitmap() {
  std::vector<std::byte> file(kBitmapHeaderBytes + logo::kSourcePixelDataBytes);
  file[0] = std::byte{'B'};
  file[1] = std::byte{'M'};
  platform::PutU32(&file[2], static_cast<std::uint32_t>(file.size()));
  platform::PutU32(&file[10], kBitmapHeaderBytes);
  platform::PutU32(&file[14], 40);
  platform::PutU32(&file[18], logo::kLogoWidth);
  platform::PutU32(&file[22], logo::kLogoHeight);
  platform::PutU16(&file[26], 1);
  platform::PutU16(&file[28], logo::kLogoBitCount);
  for (std::size_t i = kBitmapHeaderBytes; i < file.size(); ++i) {
    file[i] = static_cast<std::byte>((i * 31 + i / 2400) & 0xFF);
  }
  return file;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

struct ProcessRun {
  bool ok = false;  // exited with 0
  double wallMs = 0;
  double ownMs = 0;  // user + system CPU of the process
  double peakMiB = 0;
};

// One whole process (found on the PATH unless named with a folder), its output
// dropped; times and peak memory from wait4.
inline ProcessRun RunQuietly(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ProcessRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (spawned != 0 || ::wait4(pid, &status, 0, &usage) != pid) return run;
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  run.ownMs = ms(usage.ru_utime) + ms(usage.ru_stime);
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

}  // namespace bench
