#include "platform/sim/flash_driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "platform/sim/host_files.h"
#include "platform/sim/posix_io.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kFaultsName = "faults";
constexpr std::string_view kTraceName = "trace.log";
constexpr auto kErased = std::byte{0xFF};
constexpr std::uintmax_t kMaxFaultsBytes = 1 << 20;

// Sectors between the file's end and a sector written further on are erased
// flash, so the gap is filled with 0xFF rather than left as a hole of zeros.
bool FillErased(int fd, off_t from, off_t to) {
  static const auto erased = [] {
    std::array<std::byte, 64 * 1024> block;
    block.fill(kErased);
    return block;
  }();
  while (from < to) {
    const auto chunk = static_cast<std::size_t>(std::min<off_t>(to - from, static_cast<off_t>(erased.size())));
    if (!WriteFully(fd, erased.data(), chunk, from)) return false;
    from += static_cast<off_t>(chunk);
  }
  return true;
}

using SectorSet = std::set<std::pair<std::uint32_t, std::uint32_t>>;

std::optional<std::uint32_t> ParseNumber(const std::string& word) {
  if (word.empty() || word.size() > 10 || !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const unsigned long long value = std::stoull(word);
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// A line that is not a pair is skipped with one debug line; it never stops the driver.
SectorSet ReadFaults(const fs::path& file) {
  SectorSet faults;
  const HostFile list = ReadWholeHostFile(file, kMaxFaultsBytes);
  if (list.status == HostFile::Status::kTooLarge) {
    NKDbgPrintfW(_T("%s: over 1 MiB, ignored\n"), FromUtf8(file.string()).c_str());
  }
  std::istringstream in(std::string(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string area, sector, extra;
    if (!(words >> area)) continue;
    words >> sector >> extra;
    const auto areaNumber = ParseNumber(area);
    const auto sectorNumber = ParseNumber(sector);
    if (!areaNumber || !sectorNumber || !extra.empty()) {
      NKDbgPrintfW(_T("%s(%d): not an AREA SECTOR pair, skipped\n"), FromUtf8(file.string()).c_str(), number);
      continue;
    }
    faults.emplace(*areaNumber, *sectorNumber);
  }
  return faults;
}

fs::path AreaFileIn(const fs::path& flashFolder, std::uint32_t area) {
  return flashFolder / ("area" + std::to_string(area) + ".bin");
}

}  // namespace

struct HostFlashDriver::Session {
  struct Area {
    UniqueFd file;
    off_t size = 0;
  };

  fs::path folder;
  UniqueFd folderLock;  // holds the exclusive lock while the device is open
  bool writable = false;
  SectorSet faults;
  UniqueFd trace;
  std::map<std::uint32_t, Area> areas;  // opened, and so erased, since the open
  bool created = false;                 // an area file is new since the open

  void Trace(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (!trace) return;
    std::array<char, 160> line;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line.data(), line.size(), format, args);
    va_end(args);
    if (length > 0) {
      const auto size = std::min(static_cast<std::size_t>(length), line.size() - 1);
      [[maybe_unused]] const ssize_t ignored = ::write(trace.get(), line.data(), size);
    }
  }

  bool Refused(const AREA_SECTOR_REQ& request) const {
    const auto first = faults.lower_bound({request.Area, request.SectorAddr});
    return first != faults.end() && first->first == request.Area &&
           first->second - request.SectorAddr < request.SectorCount;
  }

  // The area's file, erased when this is the first accepted request for it.
  Area* OpenArea(std::uint32_t number) {
    if (auto found = areas.find(number); found != areas.end()) return &found->second;
    const fs::path path = AreaFileIn(folder, number);
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!file && errno == ENOENT) {
      file = UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
      created = created || static_cast<bool>(file);
    }
    if (!file || ::ftruncate(file.get(), 0) != 0) return nullptr;
    return &areas.emplace(number, Area{std::move(file), 0}).first->second;
  }

  bool WriteSectors(const AREA_SECTOR_REQ& request) {
    if (!writable || request.Area == 0 || request.Area > kFlashAreaCount || request.SectorCount == 0 ||
        request.SectorAddr >= kFlashSectorsPerArea || request.SectorCount > kFlashSectorsPerArea - request.SectorAddr)
      return false;
    const std::span<std::byte> buffer = ResolveBufferToken(request.Buffer);
    const std::size_t size = std::size_t{request.SectorCount} * kFlashSectorSize;
    if (buffer.size() < size || Refused(request)) return false;
    Area* area = OpenArea(request.Area);
    if (!area) return false;
    const auto offset = static_cast<off_t>(request.SectorAddr) * static_cast<off_t>(kFlashSectorSize);
    if (offset > area->size && !FillErased(area->file.get(), area->size, offset)) return false;
    if (!WriteFully(area->file.get(), buffer.data(), size, offset)) return false;
    area->size = std::max(area->size, offset + static_cast<off_t>(size));
    return true;
  }

  bool WriteSectorRequest(const void* in, DWORD inSize, DWORD outSize) {
    const auto request = in ? DecodeAreaSectorReq({static_cast<const std::byte*>(in), inSize}) : std::nullopt;
    if (!request) {
      Trace("WRITE_SECTOR area=? sector=? count=? in=%u out=%u fail\n", inSize, outSize);
      return false;
    }
    const bool ok = outSize == kAreaSectorReqOutputSize && WriteSectors(*request);
    Trace("WRITE_SECTOR area=%u sector=%u count=%u in=%u out=%u %s\n", request->Area, request->SectorAddr,
          request->SectorCount, inSize, outSize, ok ? "ok" : "fail");
    return ok;
  }

  bool Finish(DWORD inSize, DWORD outSize) {
    bool ok = inSize == 0 && outSize == 0;
    if (ok) {
      for (auto& [number, area] : areas) ok = ::fsync(area.file.get()) == 0 && ok;
      // A newly created area file is durable only once its folder entry is.
      if (created) ok = ::fsync(folderLock.get()) == 0 && ok;
    }
    Trace("WRITE_FINISH in=%u out=%u %s\n", inSize, outSize, ok ? "ok" : "fail");
    return ok;
  }
};

HostFlashDriver::HostFlashDriver() = default;
HostFlashDriver::HostFlashDriver(fs::path flashFolder) : m_flashFolder(std::move(flashFolder)) {}
HostFlashDriver::~HostFlashDriver() = default;

HANDLE HostFlashDriver::Open(WStringView /*name*/, DWORD access, DWORD /*share*/, DWORD /*disposition*/,
                             DWORD /*flags*/) {
  // Always exclusive, whatever share mode is asked for; write-through is
  // redundant here since every accepted request reaches the file anyway.
  auto session = std::make_unique<Session>();
  session->folder = m_flashFolder ? *m_flashFolder : FlashFolder(TerminalRoot());
  session->folderLock = UniqueFd(::open(session->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!session->folderLock || ::flock(session->folderLock.get(), LOCK_EX | LOCK_NB) != 0) return INVALID_HANDLE_VALUE;
  session->writable = (access & GENERIC_WRITE) != 0;
  session->faults = ReadFaults(session->folder / kFaultsName);
  session->trace = UniqueFd(::open((session->folder / kTraceName).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  HANDLE handle = session.get();
  m_sessions.push_back(std::move(session));
  return handle;
}

HostFlashDriver::Session* HostFlashDriver::Find(HANDLE handle) const {
  for (const auto& session : m_sessions)
    if (session.get() == handle) return session.get();
  return nullptr;
}

bool HostFlashDriver::Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* /*out*/, DWORD outSize,
                              DWORD* bytesReturned) {
  if (bytesReturned) *bytesReturned = 0;
  Session* session = Find(handle);
  if (!session) return false;
  switch (code) {
    case IOCTL_AREA_WRITE_SECTOR:
      return session->WriteSectorRequest(in, inSize, outSize);
    case IOCTL_AREA_WRITE_FINISH:
      return session->Finish(inSize, outSize);
    default:
      session->Trace("IOCTL code=0x%08x in=%u out=%u fail\n", code, inSize, outSize);
      return false;
  }
}

void HostFlashDriver::Close(HANDLE handle) {
  std::erase_if(m_sessions, [handle](const auto& session) { return session.get() == handle; });
}

fs::path FlashFolder(const fs::path& terminalRoot) { return terminalRoot / "flash"; }

fs::path AreaFilePath(const fs::path& terminalRoot, std::uint32_t area) {
  return AreaFileIn(FlashFolder(terminalRoot), area);
}

std::vector<std::byte> ReadAreaSector(const fs::path& terminalRoot, std::uint32_t area, std::uint32_t sector) {
  std::vector<std::byte> bytes(kFlashSectorSize, kErased);
  const UniqueFd file(::open(AreaFilePath(terminalRoot, area).c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return bytes;
  const auto offset = static_cast<off_t>(sector) * static_cast<off_t>(kFlashSectorSize);
  ReadFully(file.get(), bytes.data(), bytes.size(), offset);
  return bytes;
}

}  // namespace platform
