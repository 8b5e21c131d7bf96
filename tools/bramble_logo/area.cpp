// program and readback: logo area 1 of a terminal folder's flash, written through
// the terminal's own flash writer and host driver, and read back from the area
// file.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "flash/flash_writer.h"
#include "logo/image_format.h"
#include "platform/framework/afxwin.h"
#include "platform/posix/kernel.h"
#include "platform/sim/flash_driver.h"
#include "platform/sim/surroundings.h"
#include "platform/sim/terminal.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/numbers.h"
#include "tools/bramble_logo/output_file.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSectorBytes = platform::kFlashSectorSize;
using Sector = std::array<std::byte, kSectorBytes>;
constexpr auto kErased = std::byte{0xFF};
constexpr std::uint32_t kLogoSectors = logo::kLogoFileBytes / kSectorBytes;  // 3000
constexpr std::uint32_t kProgressEvery = 64;                                 // sectors between progress lines

Sector EndMarker() {
  constexpr std::array<std::byte, 4> kSignature = {std::byte{'L'}, std::byte{'O'}, std::byte{'G'}, std::byte{'O'}};
  Sector marker;
  marker.fill(kErased);
  std::ranges::copy(kSignature, marker.begin());
  return marker;
}

std::uint32_t DataSectors(std::uint64_t length) {
  return static_cast<std::uint32_t>((length + kSectorBytes - 1) / kSectorBytes);
}

// Area 1 as the flash holds it, one sector after the other; past the end of the
// area file the flash is erased.
class AreaReader {
 public:
  explicit AreaReader(const fs::path& root) : m_path(platform::AreaFilePath(root, flash::kLogoArea)) {
    m_file.reset(std::fopen(m_path.c_str(), "rb"));
    if (!m_file) m_error = errno;
  }
  int error() const { return m_error; }
  const fs::path& path() const { return m_path; }
  // False past the end of the area file, or on an error (error() says which).
  bool Next(Sector& sector) {
    if (!m_file || m_error != 0) return false;
    sector.fill(kErased);
    const std::size_t got = std::fread(sector.data(), 1, sector.size(), m_file.get());
    if (std::ferror(m_file.get())) m_error = errno != 0 ? errno : EIO;
    return got > 0 && m_error == 0;
  }

 private:
  fs::path m_path;
  platform::UniqueFile m_file;
  int m_error = 0;
};

std::optional<std::size_t> FirstDifference(const Sector& expected, const Sector& found) {
  const auto [at, ignored] = std::ranges::mismatch(expected, found);
  if (at == expected.end()) return std::nullopt;
  return static_cast<std::size_t>(at - expected.begin());
}

// Accepts every request and keeps what it was asked, for --dry-run.
class RecordingDevice final : public platform::BlockDevice {
 public:
  struct Request {
    DWORD code;
    std::uint32_t sector;
  };

  HANDLE Open(platform::WStringView, DWORD, DWORD, DWORD, DWORD) override { return &m_requests; }
  bool Control(HANDLE, DWORD code, const void* in, DWORD inSize, void*, DWORD, DWORD*) override {
    const auto record = platform::DecodeAreaSectorReq({static_cast<const std::byte*>(in), in ? inSize : 0});
    m_requests.push_back({code, record ? record->SectorAddr : 0});
    return true;
  }
  void Close(HANDLE) override {}
  const std::vector<Request>& requests() const { return m_requests; }

 private:
  std::vector<Request> m_requests;
};

void PrintPlan(const std::vector<RecordingDevice::Request>& requests) {
  std::vector<std::uint32_t> sectors;
  bool finish = false;
  for (const auto& request : requests) {
    if (request.code == IOCTL_AREA_WRITE_SECTOR) sectors.push_back(request.sector);
    if (request.code == IOCTL_AREA_WRITE_FINISH) finish = true;
  }
  // The writer sends the marker last of the sectors.
  const std::optional<std::uint32_t> marker = sectors.empty() ? std::nullopt : std::optional(sectors.back());
  if (marker) sectors.pop_back();
  if (sectors.empty()) {
    std::printf("  no data sectors\n");
  } else {
    std::printf("  data sectors %u..%u (%s)\n", sectors.front(), sectors.back(), Count(sectors.size(), "sector").c_str());
  }
  if (marker) std::printf("  end marker: sector %u\n", *marker);
  if (finish) std::printf("  finish request\n");
}

std::string Describe(const AreaScan& scan, const fs::path& root) {
  switch (scan.state) {
    case AreaState::kNoFlash:
      return "no flash in " + root.string() + ": " + platform::FlashFolder(root).string() + " does not exist";
    case AreaState::kNoAreaFile:
      return "area 1 was never programmed: " + platform::AreaFilePath(root, flash::kLogoArea).string() +
             " does not exist";
    case AreaState::kUnreadable:
      return scan.error;
    case AreaState::kNoMarker:
      return "no valid logo in area 1: no end marker in its " + Count(scan.dataSectors, "sector") +
             " (a programming that was cut short or refused)";
    case AreaState::kMarker:
      break;
  }
  return "area 1 holds " + Count(scan.dataSectors, "data sector") + " (" +
         Count(std::uint64_t{scan.dataSectors} * kSectorBytes, "byte") + ") before its end marker";
}

// Why programming cannot start, found before the first request (empty when it
// can): the driver would only refuse sector 0, which sends the user to the file.
std::string FlashNotReady(const fs::path& root, std::uint64_t areaBytes) {
  const fs::path folder = platform::FlashFolder(root);
  struct stat status{};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return Describe(AreaScan{}, root);
  // The driver's own lock, taken and let go at once, before the writer opens it.
  if (platform::FlashInUse(folder)) {
    return folder.string() + " is in use by another program; try again when it has finished";
  }
  // The driver rewrites the area file in place, or makes it in the folder.
  const fs::path area = platform::AreaFilePath(root, flash::kLogoArea);
  struct stat existing{};
  const bool exists = ::stat(area.c_str(), &existing) == 0;
  if (::access(exists ? area.c_str() : folder.c_str(), W_OK) != 0) {
    return FileError("cannot program area 1: cannot write", exists ? area : folder, errno);
  }
  // It empties the area file before the first sector, so what that holds is room too.
  struct statvfs space{};
  if (::statvfs(folder.c_str(), &space) == 0) {
    const std::uint64_t room = std::uint64_t{space.f_bavail} * space.f_frsize +
                               (exists ? static_cast<std::uint64_t>(existing.st_blocks) * 512 : 0);
    const std::uint64_t block = std::max<std::uint64_t>(space.f_frsize, 1);
    if (room < (areaBytes + block - 1) / block * block) {
      return "cannot program area 1: " + folder.string() + " has room for " + Count(room, "byte") + ", and area 1 needs " +
             Count(areaBytes, "byte");
    }
  }
  return {};
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

// The terminal's code runs against the terminal folder `root`, with `device`
// behind "DSK1:" if one is given; its debug lines go to standard error with the
// tool's own messages.
platform::Surroundings TerminalAt(const fs::path& root, platform::BlockDevice* device = nullptr) {
  platform::Surroundings surroundings = platform::CurrentSurroundings();
  surroundings.terminalRoot = root;
  surroundings.debugOutput = nullptr;
  if (device) surroundings.flashDevice = device;
  return surroundings;
}

// The terminal's flash writer on a file of the PC.
bool ProgramHostFile(const fs::path& file, const flash::Progress& progress) {
  return flash::WriteToFlashArea(
      [&](CFile& opened) {
        opened.m_hFile = platform::OpenHostFile(file);
        opened.SetFilePath(CString::FromUtf8(file.string()));
      },
      progress);
}

// The writer against a device that records and accepts every request.
int DryRun(const Arguments& args, const fs::path& file, const fs::path& root) {
  RecordingDevice recorder;
  const platform::ScopedSurroundings scope(TerminalAt(root, &recorder));
  try {
    ProgramHostFile(file, {});
  } catch (const CFileException& exception) {
    return Complain(args, exception.GetErrorMessage().ToUtf8(), Exit::kFileError);
  }
  std::printf("%s: dry run, nothing sent to %s; area 1 would get:\n", file.c_str(), platform::FlashFolder(root).c_str());
  PrintPlan(recorder.requests());
  return Code(Exit::kOk);
}

int ReportVerification(const Arguments& args, const fs::path& root, const fs::path& file) {
  const Verification verification = VerifyArea(root, file);
  if (!verification.error.empty()) return Complain(args, verification.error, Exit::kFileError);
  if (const auto& mismatch = verification.mismatch) {
    return Complain(args,
                    std::string("verify: ") + (mismatch->marker ? "the end marker in sector " : "sector ") +
                        std::to_string(mismatch->sector) + " of area 1 differs from what was sent, from byte " +
                        std::to_string(mismatch->byte),
                    Exit::kMismatch);
  }
  std::printf("verified: area 1 holds what was sent, end marker included\n");
  return Code(Exit::kOk);
}

}  // namespace

AreaScan ScanLogoArea(const fs::path& root) {
  AreaScan scan;
  std::error_code ec;
  if (!fs::is_directory(platform::FlashFolder(root), ec)) return scan;
  AreaReader reader(root);
  if (reader.error() == ENOENT) {
    scan.state = AreaState::kNoAreaFile;
    return scan;
  }
  const Sector marker = EndMarker();
  Sector sector;
  while (reader.Next(sector)) {
    if (sector == marker) {
      scan.state = AreaState::kMarker;
      return scan;
    }
    ++scan.dataSectors;
  }
  scan.state = reader.error() != 0 ? AreaState::kUnreadable : AreaState::kNoMarker;
  if (reader.error() != 0) scan.error = FileError("cannot read", reader.path(), reader.error());
  return scan;
}

Verification VerifyArea(const fs::path& root, const fs::path& file) {
  Verification result;
  platform::UniqueFile source(std::fopen(file.c_str(), "rb"));
  if (!source) {
    result.error = FileError("cannot read", file, errno);
    return result;
  }
  AreaReader area(root);
  Sector expected{};  // as the writer's buffer: zero once, and a short last piece keeps the rest
  Sector found;
  std::uint32_t sector = 0;
  for (;; ++sector) {
    const std::size_t got = std::fread(expected.data(), 1, expected.size(), source.get());
    if (std::ferror(source.get())) {
      result.error = FileError("cannot read", file, errno != 0 ? errno : EIO);
      return result;
    }
    if (got == 0) break;
    if (!area.Next(found)) found.fill(kErased);
    if (const auto at = FirstDifference(expected, found)) {
      result.mismatch = AreaMismatch{sector, *at, false};
      return result;
    }
  }
  if (!area.Next(found)) found.fill(kErased);
  if (area.error() != 0 && area.error() != ENOENT) {
    result.error = FileError("cannot read", area.path(), area.error());
  } else if (const auto at = FirstDifference(EndMarker(), found)) {
    result.mismatch = AreaMismatch{sector, *at, true};
  }
  return result;
}

int RunProgram(const Arguments& args) {
  const fs::path file = args.operands.at(0);
  const fs::path root = platform::ChooseTerminalRoot(args.root ? std::optional<fs::path>(*args.root) : std::nullopt);
  // The writer would say only that a file is missing; the reason is said here.
  std::string error;
  const UniqueFd readable = OpenInput(file, error);
  struct stat status{};
  if (!readable || ::fstat(readable.get(), &status) != 0) {
    return Complain(args, error.empty() ? FileError("cannot read", file, errno) : error, Exit::kFileError);
  }
  const auto length = static_cast<std::uint64_t>(status.st_size);
  if (length > flash::kMaxFileLength) {
    return Complain(args,
                    file.string() + " has " + Grouped(length) + " bytes; area 1 takes at most " +
                        Grouped(flash::kMaxFileLength),
                    Exit::kRefused);
  }
  const std::uint32_t sectors = DataSectors(length);

  if (args.dryRun) return DryRun(args, file, root);

  if (const std::string why = FlashNotReady(root, (std::uint64_t{sectors} + 1) * kSectorBytes); !why.empty()) {
    return Complain(args, why, Exit::kRefused);
  }
  const platform::ScopedSurroundings scope(TerminalAt(root));
  const bool showProgress = IsTerminal(stdout);
  const flash::Progress progress = [](std::uint32_t written, std::uint32_t total) {
    if (written != total && written % kProgressEvery != 1) return;
    std::printf("\rprogramming sector %u/%u", written, total);
    std::fflush(stdout);
  };
  bool written = false;
  try {
    written = ProgramHostFile(file, showProgress ? progress : flash::Progress{});
  } catch (const CFileException& exception) {
    if (showProgress) std::printf("\n");
    return Complain(args, exception.GetErrorMessage().ToUtf8(), Exit::kFileError);
  }
  if (showProgress) std::printf("\n");
  if (!written) return Complain(args, "area 1 refused a sector (the driver's line says which); nothing after it was written", Exit::kRefused);
  std::printf("%s: programmed into area 1 of %s: %s, end marker in sector %u\n", file.c_str(),
              platform::FlashFolder(root).c_str(), Count(sectors, "data sector").c_str(), sectors);
  return args.noVerify ? Code(Exit::kOk) : ReportVerification(args, root, file);
}

int RunReadback(const Arguments& args) {
  const fs::path target = args.operands.at(0);
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp, Format::kBin});
  if (!format) return Code(Exit::kUsage);
  const bool picture = format != Format::kBin;
  const fs::path root = platform::ChooseTerminalRoot(args.root ? std::optional<fs::path>(*args.root) : std::nullopt);
  const AreaScan scan = ScanLogoArea(root);
  if (scan.state == AreaState::kUnreadable) return Complain(args, scan.error, Exit::kFileError);
  if (scan.state != AreaState::kMarker) return Complain(args, Describe(scan, root), Exit::kRefused);
  const bool logoLength = scan.dataSectors == kLogoSectors;
  if (picture && !logoLength) {
    return Complain(args,
                    "no valid logo in area 1: " + Describe(scan, root) + "; a logo has " + Grouped(kLogoSectors) +
                        " (" + Grouped(logo::kLogoFileBytes) + " bytes)",
                    Exit::kRefused);
  }

  AreaReader area(root);
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  std::vector<std::byte> logoBin;
  Sector sector;
  for (std::uint32_t s = 0; s < scan.dataSectors; ++s) {
    if (!area.Next(sector)) {
      return Complain(args, FileError("cannot read", area.path(), area.error() != 0 ? area.error() : EIO), Exit::kFileError);
    }
    if (picture) {
      logoBin.insert(logoBin.end(), sector.begin(), sector.end());
    } else if (!output.Write(sector)) {
      return Complain(args, output.error(), Exit::kFileError);
    }
  }
  if (picture) {
    std::string error;
    const auto file = PictureFile(*format, LogoImageToPicture(logoBin), error);
    if (file.empty()) return Complain(args, error, Exit::kFileError);
    if (!output.Write(file)) return Complain(args, output.error(), Exit::kFileError);
  }
  if (!output.Commit()) return Complain(args, output.error(), Exit::kFileError);

  std::printf("%s: %s of area 1 of %s\n", target.c_str(), picture ? "the logo" : "the data", platform::FlashFolder(root).c_str());
  if (!picture && !logoLength) {
    std::printf("  note: %s; a logo has %s, so the terminal shows no picture from it\n", Describe(scan, root).c_str(),
                Grouped(kLogoSectors).c_str());
  }
  return Code(Exit::kOk);
}

}  // namespace logo_tool
