// Times programming a standard 1,536,000-byte logo.bin through the host flash
// driver (3000 data sectors, the marker and the finish request) against writing
// the same bytes to a file on the same disk with one write() per 512 bytes and
// one fsync, alternating the two in one run, and prints both medians and their
// ratio. Target: programming within 2x of the plain writes.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "flash/flash_writer.h"
#include "logo/image_format.h"
#include "platform/posix/posix_host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 15;
constexpr std::size_t kLogoBytes = logo::kLogoFileBytes;
constexpr std::size_t kSectorBytes = flash::kSectorBytes;

// The yardstick: the same bytes in the same pieces, made durable once.
bool PlainWrites(const fs::path& to, const std::vector<char>& bytes) {
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t at = 0; ok && at < bytes.size(); at += kSectorBytes)
    ok = ::write(fd, bytes.data() + at, kSectorBytes) == static_cast<ssize_t>(kSectorBytes);
  ok = ::fsync(fd) == 0 && ok;
  return ::close(fd) == 0 && ok;
}

double Milliseconds(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <typename Work>
double Time(Work&& work) {
  const auto start = Clock::now();
  if (!work()) {
    std::fprintf(stderr, "bench_program: a run failed\n");
    std::exit(1);
  }
  return Milliseconds(Clock::now() - start);
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("bramble-bench-program-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "SDMMC DISK");
  fs::create_directories(root / "flash");
  platform::PosixHost host;
  host.terminalRoot = root;
  platform::InstallHost(&host);

  std::vector<char> logo(kLogoBytes);
  for (std::size_t i = 0; i < logo.size(); ++i) logo[i] = static_cast<char>((i * 13 + i / kSectorBytes) & 0xFF);
  std::ofstream(root / "SDMMC DISK" / "logo.bin", std::ios::binary).write(logo.data(), static_cast<std::streamsize>(logo.size()));

  std::vector<double> program, plain;
  for (int round = 0; round < kRounds; ++round) {
    program.push_back(Time([] { return WriteLogoToFlash(1); }));
    plain.push_back(Time([&] { return PlainWrites(root / "plain.bin", logo); }));
  }
  fs::remove_all(root);

  const double programMs = Median(program);
  const double plainMs = Median(plain);
  std::printf("program (3000 sectors + marker + finish): median %.2f ms over %d runs\n", programMs, kRounds);
  std::printf("plain 512-byte writes + fsync:            median %.2f ms over %d runs\n", plainMs, kRounds);
  std::printf("ratio program / plain: %.2f (target <= 2.00)\n", programMs / plainMs);
  return 0;
}
