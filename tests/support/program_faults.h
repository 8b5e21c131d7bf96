#pragma once
// What the tests of interrupted and disturbed programs share: a named pipe the
// program writes into and the test reads at its own pace, an older logo in area 1,
// and area 1 described sector by sector.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_terminal.h"

namespace bramble::test {

// The reading end of a named pipe the program writes into, made in place of any
// file there. Its buffer is cut to one page, so a writer the test does not read
// from stops after a few kilobytes: the test, not the scheduler, decides how far
// the program gets.
class Fifo {
 public:
  explicit Fifo(const std::filesystem::path& path) {
    std::filesystem::remove(path);
    if (::mkfifo(path.c_str(), 0644) == 0) m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0) m_capacity = ::fcntl(m_fd, F_SETPIPE_SZ, 4096);
  }
  ~Fifo() { Close(); }
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  bool Ready() const { return m_fd >= 0 && m_capacity > 0; }
  void Close() { if (m_fd >= 0) ::close(std::exchange(m_fd, -1)); }

  // Appends what arrives to `data` until `enough(data)`, the writer closes its end
  // or a minute passes; true in the first case.
  bool ReadUntil(std::string& data, const std::function<bool(const std::string&)>& enough) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    char buffer[4096];
    while (!enough(data) && !m_writerGone && std::chrono::steady_clock::now() < deadline) {
      pollfd ready{m_fd, POLLIN, 0};
      // A pipe no writer has opened yet reports nothing, so this waits for the program.
      if (::poll(&ready, 1, 100) <= 0) continue;
      const ssize_t got = (ready.revents & POLLIN) ? ::read(m_fd, buffer, sizeof buffer) : 0;
      if (got > 0) data.append(buffer, static_cast<std::size_t>(got));
      m_writerGone = got <= 0 && (ready.revents & POLLHUP);
    }
    return enough(data);
  }
  bool ReadLines(std::string& data, long lines) {
    return ReadUntil(data, [lines](const std::string& d) { return std::ranges::count(d, '\n') >= lines; });
  }
  // True when the writer closed its end within a minute.
  bool ReadToEnd(std::string& data) {
    ReadUntil(data, [](const std::string&) { return false; });
    return m_writerGone;
  }

 private:
  int m_fd = -1;
  int m_capacity = 0;
  bool m_writerGone = false;
};

inline constexpr std::size_t kSector = 512;
inline constexpr std::size_t kMarkerSector = 3000;
inline constexpr auto kOldFill = std::byte{0xA5};
inline const std::string kOldLogoWhole = "old 0-2999, marker 3000";

// An older logo, complete with its end marker, as an earlier change left it.
inline std::vector<std::byte> OldArea() {
  std::vector<std::byte> area(kMarkerSector * kSector, kOldFill);
  const std::vector<std::byte> marker = EndMarker();
  area.insert(area.end(), marker.begin(), marker.end());
  return area;
}

// Area 1 sector by sector as runs of "old" (the older logo's data), "marker",
// "erased" and "data" (anything else): "data 0-1499, erased 1500-3000".
inline std::string DescribeArea(const std::filesystem::path& areaFile) {
  std::vector<std::byte> area = ReadFileBytes(areaFile);
  area.resize((kMarkerSector + 1) * kSector, std::byte{0xFF});  // past the file's end: erased flash
  const auto kind = [&area](std::size_t s) -> std::string {
    const std::span sector(area.data() + s * kSector, kSector);
    const auto all = [&sector](std::byte b) { return std::ranges::count(sector, b) == std::ptrdiff_t{kSector}; };
    return std::ranges::equal(sector, EndMarker()) ? "marker" : all(std::byte{0xFF}) ? "erased" : all(kOldFill) ? "old" : "data";
  };
  std::string runs;
  for (std::size_t s = 0, end = 0; s <= kMarkerSector; s = end) {
    for (end = s + 1; end <= kMarkerSector && kind(end) == kind(s);) ++end;
    runs += (runs.empty() ? "" : ", ") + kind(s) + " " + std::to_string(s) + (end - 1 > s ? "-" + std::to_string(end - 1) : "");
  }
  return runs;
}

}  // namespace bramble::test
