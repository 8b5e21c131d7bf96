// Times bramble-logo as a user starts it, each run the whole process from its
// start to its exit:
// - `convert` of the standard 800 x 480 logo.bmp, in rounds that alternate it with
//   `cp` of the 1,536,000 bytes it writes followed by `sync` of the copy (convert
//   flushes its output before it reports it written, so a copy that is not
//   flushed would be no yardstick; the ratio to a bare cp is printed too) and
//   with ImageMagick's conversion to the same bytes; each ratio is the median of
//   the ratios of one round. Targets: within 2.6x of cp and sync, and at least 3x
//   faster than ImageMagick.
// - `prepare --fit fill` of generated photos, 8000 x 6000 and 10000 x 10000 JPEGs
//   and a 9000 x 9000 PNG: the median time and the largest peak of resident
//   memory, each result checked with `check`, in rounds with libvips' own
//   vipsthumbnail (libvips-tools) cutting the same photo to the same size. Target
//   for the 8000 x 6000 JPEG: within 1.2x of vipsthumbnail, and 100 MB.
//   bench_logo_tool [BRAMBLE_LOGO [WORK_FOLDER]]

#include <vips/vips.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "logo/image_format.h"
#include "platform/framework/storage.h"

namespace {

namespace fs = std::filesystem;

constexpr int kConvertRounds = 31;
constexpr int kPrepareRuns = 5;

bool WriteFile(const fs::path& path, const std::vector<std::byte>& bytes) {
  platform::UniqueFile out(std::fopen(path.c_str(), "wb"));
  return out && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size() &&
         platform::CloseChecked(std::move(out));
}

std::vector<std::byte> ReadFile(const fs::path& path) {
  std::error_code ec;
  std::vector<std::byte> bytes(fs::file_size(path, ec));
  platform::UniqueFile in(std::fopen(path.c_str(), "rb"));
  if (ec || !in || std::fread(bytes.data(), 1, bytes.size(), in.get()) != bytes.size()) return {};
  return bytes;
}


// ImageMagick as the distribution installs it, before whatever else is called
// convert on the PATH.
std::string ImageMagick() { return ::access("/usr/bin/convert", X_OK) == 0 ? "/usr/bin/convert" : "convert"; }

struct Unref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using Image = std::unique_ptr<VipsImage, Unref>;

// A photo-like picture: three slow waves of colour, and for a JPEG the grain of a
// camera's sensor, which is what makes a photo's file large and slow to decode.
bool MakePicture(const fs::path& file, int width, int height, bool grain) {
  VipsImage* band[3] = {};
  const double frequencies[3][2] = {{3.0, 2.0}, {5.0, 1.5}, {1.5, 4.0}};
  for (int b = 0; b < 3; ++b) {
    if (vips_sines(&band[b], width, height, "hfreq", frequencies[b][0], "vfreq", frequencies[b][1], nullptr) != 0) return false;
  }
  const Image red(band[0]), green(band[1]), blue(band[2]);
  VipsImage* step = nullptr;
  if (vips_bandjoin(band, &step, 3, nullptr) != 0) return false;
  Image picture(step);
  if (vips_linear1(picture.get(), &step, 100.0, 128.0, nullptr) != 0) return false;
  picture.reset(step);
  if (grain) {
    VipsImage* noise[3] = {};
    for (VipsImage*& n : noise) {
      if (vips_gaussnoise(&n, width, height, "sigma", 6.0, "mean", 0.0, "seed", static_cast<int>(&n - noise), nullptr) != 0) return false;
    }
    const Image n0(noise[0]), n1(noise[1]), n2(noise[2]);
    if (vips_bandjoin(noise, &step, 3, nullptr) != 0) return false;
    const Image grains(step);
    if (vips_add(picture.get(), grains.get(), &step, nullptr) != 0) return false;
    picture.reset(step);
  }
  if (vips_cast(picture.get(), &step, VIPS_FORMAT_UCHAR, nullptr) != 0) return false;
  picture.reset(step);
  picture->Type = VIPS_INTERPRETATION_sRGB;
  return file.extension() == ".png" ? vips_pngsave(picture.get(), file.c_str(), nullptr) == 0
                                    : vips_jpegsave(picture.get(), file.c_str(), "Q", 90, nullptr) == 0;
}

// A process's peak resident memory starts from its parent's at the fork, so this
// program stays small: whatever uses libvips here runs in a child of its own.
template <typename Work>
bool InChild(Work work) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(VIPS_INIT("bench_logo_tool") == 0 && work() ? 0 : 1);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double OwnPeakMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool BenchConvert(const std::string& tool, const fs::path& work) {
  const fs::path bmp = work / "logo.bmp";
  if (!WriteFile(bmp, bench::StandardBitmap())) return false;
  const std::vector<std::string> ours = {tool, "convert", bmp.string(), (work / "logo.bin").string()};
  const std::vector<std::string> copy = {"cp", (work / "logo.bin").string(), (work / "copy.bin").string()};
  const std::vector<std::string> flush = {"sync", (work / "copy.bin").string()};
  const std::vector<std::string> magick = {ImageMagick(), bmp.string(), "-alpha", "set", "-channel", "A", "-evaluate",
                                           "set", "0", "+channel", "BGRA:" + (work / "magick.bin").string()};
  std::vector<double> oursMs, copyMs, flushedMs, magickMs, copyRatio, flushedRatio, magickRatio;
  for (int round = 0; round <= kConvertRounds; ++round) {
    const bench::ProcessRun a = bench::RunQuietly(ours), b = bench::RunQuietly(copy), f = bench::RunQuietly(flush),
                            c = bench::RunQuietly(magick);
    if (!a.ok || !b.ok || !f.ok || !c.ok) {
      std::fprintf(stderr, "bench_logo_tool: a run of convert, cp, sync or ImageMagick failed\n");
      return false;
    }
    if (round == 0) continue;  // warms the page cache and the loader for all of them
    oursMs.push_back(a.wallMs);
    copyMs.push_back(b.wallMs);
    flushedMs.push_back(b.wallMs + f.wallMs);
    magickMs.push_back(c.wallMs);
    copyRatio.push_back(a.wallMs / b.wallMs);
    flushedRatio.push_back(a.wallMs / (b.wallMs + f.wallMs));
    magickRatio.push_back(c.wallMs / a.wallMs);
  }
  if (ReadFile(work / "logo.bin") != ReadFile(work / "magick.bin")) {
    std::fprintf(stderr, "bench_logo_tool: ImageMagick did not make the same logo.bin\n");
    return false;
  }
  const double slower = bench::Median(flushedRatio), faster = bench::Median(magickRatio);
  std::printf("convert logo.bmp -> logo.bin, whole process, median of %d rounds:\n", kConvertRounds);
  std::printf("  bramble-logo convert %6.2f ms\n  cp of its output     %6.2f ms\n  cp, then sync of it  %6.2f ms\n"
              "  ImageMagick          %6.2f ms\n", bench::Median(oursMs), bench::Median(copyMs), bench::Median(flushedMs),
              bench::Median(magickMs));
  std::printf("  convert / cp          %5.2f (no target: cp does not flush)\n", bench::Median(copyRatio));
  std::printf("  convert / (cp + sync) %5.2f (target <= 2.60): %s\n", slower, slower <= 2.6 ? "met" : "MISSED");
  std::printf("  ImageMagick / convert %5.2f (target >= 3.00): %s\n", faster, faster >= 3.0 ? "met" : "MISSED");
  return true;
}

bool BenchPrepare(const std::string& tool, const fs::path& work) {
  struct Photo {
    const char* name;
    int width, height;
    bool grain;
    double targetRatio, targetMiB;  // 0: no target
  };
  const Photo photos[] = {{"photo-8000x6000.jpg", 8000, 6000, true, 1.2, 100},
                          {"photo-10000x10000.jpg", 10000, 10000, true, 0, 0},
                          {"picture-9000x9000.png", 9000, 9000, false, 0, 0}};
  std::printf("prepare --fit fill against vipsthumbnail to the same size and crop, whole processes, median of %d "
              "rounds (a peak cannot read below this program's own, %.1f MiB):\n", kPrepareRuns, OwnPeakMiB());
  for (const Photo& photo : photos) {
    const fs::path file = work / photo.name, logo = work / "logo-prepared.bmp";
    if (!InChild([&] { return MakePicture(file, photo.width, photo.height, photo.grain); })) {
      std::fprintf(stderr, "bench_logo_tool: making %s failed\n", photo.name);
      return false;
    }
    const std::string size = std::to_string(logo::kLogoWidth) + "x" + std::to_string(logo::kLogoHeight);
    const std::vector<std::string> yardstick = {"vipsthumbnail", file.string(), "--size", size, "--smartcrop", "centre",
                                                "-o", (work / "thumbnail.ppm").string()};
    std::vector<double> ms, cpuMs, thumbnailMs, ratio;
    double peak = 0;
    for (int run = 0; run <= kPrepareRuns; ++run) {
      const bench::ProcessRun r = bench::RunQuietly({tool, "prepare", file.string(), logo.string(), "--fit", "fill"});
      const bench::ProcessRun t = bench::RunQuietly(yardstick);
      if (!r.ok || !t.ok || !bench::RunQuietly({tool, "check", logo.string()}).ok) {
        std::fprintf(stderr, "bench_logo_tool: prepare or vipsthumbnail of %s failed, or made no usable logo\n",
                     photo.name);
        return false;
      }
      if (run == 0) continue;
      ms.push_back(r.wallMs);
      cpuMs.push_back(r.ownMs);
      thumbnailMs.push_back(t.wallMs);
      ratio.push_back(r.wallMs / t.wallMs);
      peak = std::max(peak, r.peakMiB);
    }
    std::error_code ec;
    const double fileMiB = static_cast<double>(fs::file_size(file, ec)) / (1024.0 * 1024.0);
    std::printf("  %-22s (%5.1f MiB) %7.1f ms (cpu %7.1f ms), peak %6.1f MiB; vipsthumbnail %7.1f ms; ratio %5.2f",
                photo.name, fileMiB, bench::Median(ms), bench::Median(cpuMs), peak, bench::Median(thumbnailMs),
                bench::Median(ratio));
    if (photo.targetRatio > 0) {
      const bool met = bench::Median(ratio) <= photo.targetRatio && peak <= photo.targetMiB;
      std::printf(" (target <= %.1f, <= %.0f MiB): %s", photo.targetRatio, photo.targetMiB, met ? "met" : "MISSED");
    }
    std::printf("\n");
    fs::remove(file, ec);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string tool = argc > 1 ? argv[1] : BRAMBLE_LOGO;
  const fs::path work = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) /
                        ("bramble-bench-logo-tool-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const bool ok = BenchConvert(tool, work) && BenchPrepare(tool, work);
  std::error_code ec;
  fs::remove_all(work, ec);
  return ok ? 0 : 1;
}
