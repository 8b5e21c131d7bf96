// Times the conversion of a standard 800 x 480 24-bit logo.bmp into logo.bin
// against a plain copy of the same bytes on the same disk (read the 1,152,054-byte
// bitmap, write 1,536,000 bytes), alternating the two in one run, and prints both
// medians and their ratio. Target: the conversion within 3x of the copy.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "logo/converter.h"
#include "logo/image_format.h"
#include "platform/framework/storage.h"
#include "platform/posix/posix_host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 21;
constexpr std::size_t kBitmapBytes = bench::kBitmapHeaderBytes + logo::kSourcePixelDataBytes;

// The yardstick: the same reads and writes through the same C library, no pixels touched.
bool PlainCopy(const fs::path& from, const fs::path& to) {
  std::vector<std::byte> bytes(logo::kLogoFileBytes);
  platform::UniqueFile in(std::fopen(from.c_str(), "rb"));
  if (!in || std::fread(bytes.data(), 1, kBitmapBytes, in.get()) != kBitmapBytes) return false;
  in.reset();
  platform::UniqueFile out(std::fopen(to.c_str(), "wb"));
  return out && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size() &&
         platform::CloseChecked(std::move(out));
}

double Milliseconds(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

// The converter's diagnostic line would otherwise fill the report, one per round.
class SilencedStdout {
 public:
  SilencedStdout() : m_saved(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  ~SilencedStdout() {
    std::fflush(stdout);
    ::dup2(m_saved, STDOUT_FILENO);
    ::close(m_saved);
  }
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

 private:
  int m_saved;
};

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("bramble-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "SDMMC DISK");
  platform::PosixHost host;
  host.terminalRoot = root;
  platform::InstallHost(&host);
  const fs::path source = root / "SDMMC DISK/logo.bmp";
  {
    const auto bitmap = bench::StandardBitmap();
    platform::UniqueFile out(std::fopen(source.c_str(), "wb"));
    if (!out || std::fwrite(bitmap.data(), 1, bitmap.size(), out.get()) != bitmap.size()) return 1;
  }

  std::vector<double> convertMs, copyMs;
  bool ok = true;
  {
    SilencedStdout silence;
    for (int round = 0; ok && round <= kRounds; ++round) {
      const auto start = Clock::now();
      ok = logo::ConvertBitmapToLogo(1, CString(platform::kSdLogoBmp)) == 0;
      const auto converted = Clock::now();
      ok = ok && PlainCopy(source, root / "SDMMC DISK/copy.bin");
      const auto copied = Clock::now();
      if (round == 0) continue;  // warms the page cache for both
      convertMs.push_back(Milliseconds(converted - start));
      copyMs.push_back(Milliseconds(copied - converted));
    }
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  if (!ok) {
    std::fprintf(stderr, "bench_convert: a conversion or copy failed\n");
    return 1;
  }

  const double convert = bench::Median(convertMs);
  const double copy = bench::Median(copyMs);
  std::printf("convert logo.bmp -> logo.bin: median %.3f ms over %d rounds\n", convert, kRounds);
  std::printf("plain copy of the same bytes: median %.3f ms\n", copy);
  std::printf("ratio %.2f (target <= 3.00): %s\n", convert / copy, convert / copy <= 3.0 ? "met" : "MISSED");
  return 0;
}
