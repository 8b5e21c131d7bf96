// Times the whole job as a user meets it: `bramble --play open,convert` on a fresh
// demo terminal (start, Open image, Convert, 3000 sectors and the marker
// programmed, the pictures and the transcript written, exit). Reports the wall
// time and the program's own time (user + system CPU of the child, from wait4),
// as medians over many runs, against the same program doing only its start
// (`--play ''`) on the same kind of terminal. Target: under 250 ms of the
// program's own time.
//   bench_play [BRAMBLE [WORK_FOLDER]]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "flash/flash_writer.h"
#include "logo/image_format.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 21;
// The data sectors and the marker.
constexpr std::uintmax_t kProgrammedAreaBytes = (flash::DataSectorCount(logo::kLogoFileBytes) + 1) * flash::kSectorBytes;

// Runs the program once with its output dropped; false when it did not exit with 0.
bool Run(const std::vector<std::string>& argv, bench::ProcessRun& timing) {
  timing = bench::RunQuietly(argv);
  return timing.ok;
}

// A fresh copy of the demo terminal: nothing programmed, no logo.bin, an empty trace.
fs::path FreshTerminal(const fs::path& demo, const fs::path& work, const std::string& name) {
  const fs::path terminal = work / name;
  fs::remove_all(terminal);
  fs::copy(demo, terminal, fs::copy_options::recursive);
  return terminal;
}

void Report(const char* what, const std::vector<bench::ProcessRun>& runs) {
  std::vector<double> wall, own;
  for (const bench::ProcessRun& t : runs) {
    wall.push_back(t.wallMs);
    own.push_back(t.ownMs);
  }
  std::printf("%-34s wall median %7.1f ms, own (user+sys) median %7.1f ms\n", what, bench::Median(wall), bench::Median(own));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 1 ? argv[1] : BRAMBLE_PROGRAM;
  const fs::path work =
      (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) / ("bramble-bench-play-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const fs::path demo = work / "demo";
  const std::string make = std::string("'") + BRAMBLE_SOURCE_DIR + "/scripts/make-demo-terminal' '" + demo.string() + "'";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "bench_play: making the demo terminal failed\n");
    return 1;
  }

  std::vector<bench::ProcessRun> job, start;
  bool ok = true;
  for (int round = 0; ok && round <= kRounds; ++round) {
    bench::ProcessRun timing;
    const fs::path terminal = FreshTerminal(demo, work, "job");
    ok = Run({program, "--root", terminal.string(), "--play", "open,convert", "--out", (work / "job-out").string()},
             timing);
    std::error_code ec;
    ok = ok && fs::file_size(terminal / "flash/area1.bin", ec) == kProgrammedAreaBytes;
    if (round > 0) job.push_back(timing);  // the first run warms the page cache and the loader

    const fs::path idle = FreshTerminal(demo, work, "start");
    ok = ok && Run({program, "--root", idle.string(), "--play", "", "--out", (work / "start-out").string()}, timing);
    if (round > 0) start.push_back(timing);
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  if (!ok) {
    std::fprintf(stderr, "bench_play: a run failed or did not program area 1 (%s)\n", program.c_str());
    return 1;
  }

  std::printf("%d runs each, fresh demo terminal every run\n", kRounds);
  Report("--play open,convert (whole job)", job);
  Report("--play '' (start and exit only)", start);
  std::vector<double> jobOwn, startOwn;
  for (const bench::ProcessRun& t : job) jobOwn.push_back(t.ownMs);
  for (const bench::ProcessRun& t : start) startOwn.push_back(t.ownMs);
  const double own = bench::Median(jobOwn);
  std::printf("ratio whole job / start only (own time): %.2f\n", own / bench::Median(startOwn));
  std::printf("whole job own time %.1f ms (target < 250 ms): %s\n", own, own < 250.0 ? "met" : "MISSED");
  return 0;
}
