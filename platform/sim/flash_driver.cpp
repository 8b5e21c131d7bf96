#include "platform/sim/flash_driver.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "platform/sim/host_files.h"
#include "platform/sim/host_io.h"
#include "platform/sim/terminal.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kFaultsName = "faults";
constexpr std::string_view kTraceName = "trace.log";
// Held by the open of "DSK1:", whichever program and host opened it.
constexpr std::string_view kLockName = "dsk1.lock";
constexpr auto kErased = std::byte{0xFF};
constexpr std::uintmax_t kMaxFaultsBytes = 1 << 20;

// Sectors between the file's end and a sector written further on are erased
// flash, so the gap is filled with 0xFF rather than left as a hole of zeros.
bool FillErased(HostIo& file, std::uint64_t from, std::uint64_t to) {
  static const auto erased = [] {
    std::array<std::byte, 64 * 1024> block;
    block.fill(kErased);
    return block;
  }();
  while (from < to) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, erased.size()));
    if (!file.WriteAt(erased.data(), chunk, from)) return false;
    from += chunk;
  }
  return true;
}

using SectorSet = std::set<std::pair<std::uint32_t, std::uint32_t>>;

// A DWORD for the trace's printf: its width differs between hosts, its values do not.
unsigned Unsigned(DWORD value) { return static_cast<unsigned>(value); }

// Up to ten decimal digits, nothing else.
std::optional<std::uint32_t> ParseNumber(std::string_view word) {
  std::uint32_t value = 0;
  const char* end = word.data() + word.size();
  if (word.empty() || word.size() > 10) return std::nullopt;
  const auto [stop, error] = std::from_chars(word.data(), end, value);
  return error == std::errc{} && stop == end ? std::optional(value) : std::nullopt;
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
    HostIo file;
    std::uint64_t size = 0;
  };

  fs::path folder;
  HostIo lock;  // holds the flash for this open alone while the device is open
  bool writable = false;
  SectorSet faults;
  HostIo trace;
  std::map<std::uint32_t, Area> areas;  // opened, and so erased, since the open
  bool created = false;                 // an area file is new since the open

  void Trace(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (!trace) return;
    std::array<char, 160> line;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line.data(), line.size(), format, args);
    va_end(args);
    // The trace is for whoever reads it; a request does not fail because of it,
    // and a reader that has gone ends it.
    if (length > 0 && !trace.Append(line.data(), std::min(static_cast<std::size_t>(length), line.size() - 1))) {
      trace = HostIo();
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
    bool isNew = false;
    HostIo file = HostIo::Open(AreaFileIn(folder, number), HostIo::Mode::kReadWrite, &isNew);
    created = created || isNew;
    if (!file || !file.Truncate(0)) return nullptr;
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
    const std::uint64_t offset = std::uint64_t{request.SectorAddr} * kFlashSectorSize;
    if (offset > area->size && !FillErased(area->file, area->size, offset)) return false;
    if (!area->file.WriteAt(buffer.data(), size, offset)) return false;
    area->size = std::max(area->size, offset + size);
    return true;
  }

  bool WriteSectorRequest(const void* in, DWORD inSize, DWORD outSize) {
    const auto request = in ? DecodeAreaSectorReq({static_cast<const std::byte*>(in), inSize}) : std::nullopt;
    if (!request) {
      Trace("WRITE_SECTOR area=? sector=? count=? in=%u out=%u fail\n", Unsigned(inSize), Unsigned(outSize));
      return false;
    }
    const bool ok = outSize == kAreaSectorReqOutputSize && WriteSectors(*request);
    Trace("WRITE_SECTOR area=%u sector=%u count=%u in=%u out=%u %s\n", request->Area, request->SectorAddr,
          request->SectorCount, Unsigned(inSize), Unsigned(outSize), ok ? "ok" : "fail");
    return ok;
  }

  bool Finish(DWORD inSize, DWORD outSize) {
    bool ok = inSize == 0 && outSize == 0;
    if (ok) {
      for (auto& [number, area] : areas) ok = area.file.Sync() && ok;
      // A newly created area file is durable only once its folder entry is.
      if (created) ok = HostIo::Open(folder, HostIo::Mode::kFolder).Sync() && ok;
    }
    Trace("WRITE_FINISH in=%u out=%u %s\n", Unsigned(inSize), Unsigned(outSize), ok ? "ok" : "fail");
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
  session->lock = HostIo::Lock(FlashLockFile(session->folder));
  if (!session->lock) return INVALID_HANDLE_VALUE;
  session->writable = (access & GENERIC_WRITE) != 0;
  session->faults = ReadFaults(session->folder / kFaultsName);
  session->trace = HostIo::Open(session->folder / kTraceName, HostIo::Mode::kAppend);
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
      session->Trace("IOCTL code=0x%08x in=%u out=%u fail\n", Unsigned(code), Unsigned(inSize), Unsigned(outSize));
      return false;
  }
}

void HostFlashDriver::Close(HANDLE handle) {
  std::erase_if(m_sessions, [handle](const auto& session) { return session.get() == handle; });
}

fs::path FlashFolder(const fs::path& terminalRoot) { return terminalRoot / "flash"; }

fs::path FlashLockFile(const fs::path& flashFolder) { return flashFolder / kLockName; }

fs::path AreaFilePath(const fs::path& terminalRoot, std::uint32_t area) {
  return AreaFileIn(FlashFolder(terminalRoot), area);
}

std::vector<std::byte> ReadAreaSector(const fs::path& terminalRoot, std::uint32_t area, std::uint32_t sector) {
  std::vector<std::byte> bytes(kFlashSectorSize, kErased);
  const HostIo file = HostIo::Open(AreaFilePath(terminalRoot, area), HostIo::Mode::kRead);
  if (file) file.ReadAt(bytes.data(), bytes.size(), std::uint64_t{sector} * kFlashSectorSize);
  return bytes;
}

}  // namespace platform
