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

#include "flash/change_mark.h"
#include "flash/flash_writer.h"
#include "logo/converter.h"
#include "logo/image_format.h"
#include "platform/framework/afxwin.h"
#include "platform/posix/kernel.h"
#include "platform/sim/flash_driver.h"
#include "platform/sim/host_io.h"
#include "platform/sim/surroundings.h"
#include "platform/sim/terminal.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/files.h"
#include "tools/bramble_logo/picture_format.h"
#include "tools/bramble_logo/wording.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

using flash::kSectorBytes;
using flash::Sector;
constexpr auto kErased = std::byte{0xFF};
constexpr std::uint32_t kLogoSectors = logo::kLogoFileBytes / kSectorBytes;  // 3000
constexpr std::uint32_t kProgressEvery = 64;                                 // sectors between progress lines
// No area file can be longer: a longer one is not the driver's.
constexpr std::uint64_t kAreaBytes = std::uint64_t{platform::kFlashSectorsPerArea} * kSectorBytes;

// Area 1 as the flash holds it, one sector after the other; past the end of the
// area file the flash is erased. Only a regular file no longer than an area is
// read, and no further than it was long when it was opened.
class AreaReader {
 public:
  explicit AreaReader(const fs::path& root) : m_input(platform::AreaFilePath(root, flash::kLogoArea)) {
    if (!m_input.ok()) {
      m_error = m_input.error();
    } else if (m_input.size() > kAreaBytes) {
      m_error = "cannot read " + m_input.name().string() + ": " + Count(m_input.size(), "byte") +
                ", more than an area holds (" + Grouped(kAreaBytes) + ")";
    }
  }
  bool missing() const { return m_input.errorNumber() == ENOENT; }
  // Why the area cannot be read; empty when it can.
  const std::string& error() const { return m_error; }
  // False past the end of the area file, or on an error.
  bool Next(Sector& sector) {
    if (!m_error.empty() || m_offset >= m_input.size()) return false;
    sector.fill(kErased);
    const ssize_t got = platform::ReadFully(m_input.fd(), sector.data(), sector.size(), static_cast<off_t>(m_offset));
    if (got < 0) m_error = FileError("cannot read", m_input.name(), errno);
    if (got <= 0) return false;
    m_offset += static_cast<std::uint64_t>(got);
    return true;
  }

 private:
  Input m_input;
  std::uint64_t m_offset = 0;
  std::string m_error;
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

// Passes every request on to the driver and keeps how the last one went, so that
// a programming that failed is told for what it was: a driver that could not be
// opened, a refused sector, a failed finish, or a file that ran short.
class ObservedDevice final : public platform::BlockDevice {
 public:
  explicit ObservedDevice(platform::BlockDevice& driver) : m_driver(driver) {}

  HANDLE Open(platform::WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    const HANDLE handle = m_driver.Open(name, access, share, disposition, flags);
    m_opened = handle != INVALID_HANDLE_VALUE;
    return handle;
  }
  bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned) override {
    m_lastCode = code;
    m_lastAccepted = m_driver.Control(handle, code, in, inSize, out, outSize, returned);
    return m_lastAccepted;
  }
  void Close(HANDLE handle) override { m_driver.Close(handle); }

  bool opened() const { return m_opened; }
  std::optional<DWORD> lastCode() const { return m_lastCode; }
  bool lastAccepted() const { return m_lastAccepted; }

 private:
  platform::BlockDevice& m_driver;
  bool m_opened = false;
  std::optional<DWORD> m_lastCode;
  bool m_lastAccepted = false;
};

void ReportPlan(const Arguments& args, const std::vector<RecordingDevice::Request>& requests) {
  std::vector<std::uint32_t> sectors;
  bool finish = false;
  for (const auto& request : requests) {
    if (request.code == IOCTL_AREA_WRITE_SECTOR) sectors.push_back(request.sector);
    if (request.code == IOCTL_AREA_WRITE_FINISH) finish = true;
  }
  // The writer sends the marker last of the sectors.
  const bool marked = !sectors.empty();
  const std::uint32_t marker = marked ? sectors.back() : 0;
  if (marked) sectors.pop_back();
  args.summary["data_sectors"] = sectors.size();
  args.summary["end_marker_sector"] = marked ? nlohmann::ordered_json(marker) : nullptr;
  args.summary["finish"] = finish;
  if (sectors.empty()) {
    Say(args, "  no data sectors\n");
  } else {
    Say(args, "  data sectors %u..%u (%s)\n", sectors.front(), sectors.back(), Count(sectors.size(), "sector").c_str());
  }
  if (marked) Say(args, "  end marker: sector %u\n", marker);
  if (finish) Say(args, "  finish request\n");
}

std::string Describe(const AreaScan& scan, const fs::path& root) {
  switch (scan.state) {
    case AreaState::kNoFlash: {
      std::error_code ec;
      if (!fs::is_directory(root, ec)) {
        return "the terminal folder " + root.string() +
               " does not exist: name the one to use with --root DIR or the environment variable BRAMBLE_ROOT";
      }
      return "no flash in " + root.string() + ": " + platform::FlashFolder(root).string() + " does not exist";
    }
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

struct LockProblem {
  bool busy = false;    // another program holds it: the user only has to wait
  std::string message;  // empty when the lock can be taken
};

// Why the driver's open would fail now: its lock, taken and let go at once.
LockProblem FlashLockProblem(const fs::path& folder) {
  platform::HostIo::LockResult result = platform::HostIo::LockResult::kUnavailable;
  const fs::path lockFile = platform::FlashLockFile(folder);
  errno = 0;
  platform::HostIo::Lock(lockFile, &result);
  const int error = errno;
  switch (result) {
    case platform::HostIo::LockResult::kHeld:
      return {};
    case platform::HostIo::LockResult::kBusy:
      return {true, folder.string() + " is in use by another program; try again when it has finished"};
    case platform::HostIo::LockResult::kUnavailable:
      break;
  }
  // A lock is never opened through a link, which the open reports as a loop.
  const std::string cause = error == ELOOP ? "it is a symbolic link" : error != 0 ? std::strerror(error) : "";
  return {false, "the flash driver's lock " + lockFile.string() + " cannot be taken" +
                     (cause.empty() ? std::string() : ": " + cause) + "; it must be a regular file that can be written"};
}

// Why programming cannot start, found before the first request (empty when it
// can): the driver would only refuse sector 0, which sends the user to the file.
std::string FlashNotReady(const fs::path& root, std::uint64_t areaBytes) {
  const fs::path folder = platform::FlashFolder(root);
  struct stat status{};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return Describe(AreaScan{}, root);
  const LockProblem lock = FlashLockProblem(folder);
  if (lock.busy) return lock.message;
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
  // After the folder's own faults, which say more (a read-only file system).
  return lock.message;
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

// The terminal's flash writer on a file of the PC, named for its messages as the
// user gave it.
bool ProgramHostFile(const Input& file, const flash::Progress& progress) {
  return flash::WriteToFlashArea(
      [&](CFile& opened) {
        opened.m_hFile = platform::OpenHostFile(file.PathToRead());
        opened.SetFilePath(CString::FromUtf8(file.name().string()));
      },
      progress);
}

// The writer against a device that records and accepts every request.
int DryRun(const Arguments& args, const Input& file, const fs::path& root) {
  RecordingDevice recorder;
  const platform::ScopedSurroundings scope(TerminalAt(root, &recorder));
  try {
    ProgramHostFile(file, {});
  } catch (const CFileException& exception) {
    return Complain(args, exception.GetErrorMessage().ToUtf8(), Exit::kFileError);
  }
  Say(args, "%s: dry run, nothing sent to %s; area 1 would get:\n", file.name().c_str(),
      platform::FlashFolder(root).c_str());
  ReportPlan(args, recorder.requests());
  return Code(Exit::kOk);
}

int ReportVerification(const Arguments& args, const fs::path& root, const Input& file) {
  const Verification verification = VerifyArea(root, file);
  if (!verification.error.empty()) return Complain(args, verification.error, Exit::kFileError);
  args.summary["verified"] = !verification.mismatch;
  if (const auto& mismatch = verification.mismatch) {
    args.summary["mismatch"] = {{"sector", mismatch->sector}, {"byte", mismatch->byte}, {"end_marker", mismatch->marker}};
    return Complain(args,
                    std::string("verify: ") + (mismatch->marker ? "the end marker in sector " : "sector ") +
                        std::to_string(mismatch->sector) + " of area 1 differs from what was sent, from byte " +
                        std::to_string(mismatch->byte),
                    Exit::kMismatch);
  }
  Say(args, "verified: area 1 holds what was sent, end marker included\n");
  return Code(Exit::kOk);
}

// What a programming that the writer reports failed did to area 1, from the
// request that failed.
int ReportFailure(const Arguments& args, const ObservedDevice& device, const Input& file, const fs::path& root) {
  if (!device.opened()) {
    const std::string problem = FlashLockProblem(platform::FlashFolder(root)).message;
    return Complain(args, (problem.empty() ? "the flash driver could not be opened" : problem) + "; nothing was sent",
                    Exit::kRefused);
  }
  if (device.lastCode() == IOCTL_AREA_WRITE_FINISH && !device.lastAccepted()) {
    return Complain(args,
                    "area 1 could not be made durable (the finish request failed): a power cut may lose the logo; "
                    "program it again",
                    Exit::kRefused);
  }
  if (device.lastCode() && !device.lastAccepted()) {
    return Complain(args, "area 1 refused a sector (the driver's line says which); nothing after it was written",
                    Exit::kRefused);
  }
  // Every request was accepted, and the writer stopped: the file ran short.
  return Complain(args,
                  file.name().string() + " became shorter while it was programmed; area 1 holds no end marker: "
                                         "program it again",
                  Exit::kFileError);
}

// What makes `file` no logo, and how to make one of it.
std::string NotALogo(const Input& file, const Diagnosis& diagnosis) {
  const std::string name = file.name().string();
  const std::string lead = name + " is not a logo: ";
  // A bitmap header that check could read: the rule the dialog would refuse it by.
  const auto bitmapRule = std::ranges::find_if(diagnosis.findings, [](const Finding& finding) {
    return finding.blocking && finding.rule != Rule::kLength && finding.rule != Rule::kSignature;
  });
  if (bitmapRule != diagnosis.findings.end()) {
    return lead + "a bitmap that the dialog refuses (" + bitmapRule->problem + "); `bramble-logo check " + name +
           "` says how to fix it";
  }
  std::array<std::byte, kPictureSniffBytes> head{};
  const ssize_t got = platform::ReadFully(file.fd(), head.data(), head.size(), 0);
  const PictureFormat format = SniffPictureFormat(std::span(head).first(got > 0 ? static_cast<std::size_t>(got) : 0));
  if (format != PictureFormat::kNone) {
    return lead + Article(FormatName(format)) + " picture; `bramble-logo prepare " + name +
           " logo.bmp` makes a logo bitmap of it, which program takes";
  }
  return lead + Count(file.size(), "byte") + ", and a logo.bin has " + Grouped(logo::kLogoFileBytes) +
         "; make one with `bramble-logo prepare PICTURE logo.bmp`, then program logo.bmp (or `bramble-logo convert "
         "logo.bmp logo.bin`)";
}

// The bitmap converted into a scratch file as the dialog's Convert converts the
// card's logo.bmp: the very converter, refusing pixel data cut short.
std::optional<int> ConvertBitmap(const Arguments& args, const Input& bitmap, std::optional<Input>& converted) {
  int error = 0;
  UniqueFd scratch = OpenScratch(error);
  if (!scratch) {
    return Complain(args, FileError("cannot make a temporary file in", ScratchFolder(), error), Exit::kFileError);
  }
  const fs::path writeTo = "/proc/self/fd/" + std::to_string(scratch.get());
  ConverterLines lines(true);
  const auto result = static_cast<logo::ConvertResult>(
      logo::ConvertBitmapFile(bitmap.PathToRead(), bitmap.name(), writeTo, /*wholePixelData=*/true));
  lines.Restore(result != logo::ConvertResult::kWritten ? stderr : nullptr);
  const std::string name = bitmap.name().string();
  switch (result) {
    case logo::ConvertResult::kWritten:
      converted.emplace(std::move(scratch), bitmap.name());
      if (!converted->ok()) return Complain(args, converted->error(), Exit::kFileError);
      return std::nullopt;
    case logo::ConvertResult::kNotLogoBitmap:
      // It passed check a moment ago: it changed since.
      return Complain(args, name + " is not a logo: the converter refused it (its lines above say why)", Exit::kNotALogo);
    case logo::ConvertResult::kSourceNotOpened:
    case logo::ConvertResult::kSourceUnreadable:
      return Complain(args, "cannot read " + name + " to convert it", Exit::kFileError);
    case logo::ConvertResult::kOutputFailed:
      break;
  }
  return Complain(args, "cannot write the logo converted from " + name + " in " + ScratchFolder().string(),
                  Exit::kFileError);
}

// What programming `file` sends, decided before anything is sent: a bitmap that
// the dialog takes is converted as it converts it (`converted`), a file of a
// logo.bin's length goes as it is, and anything else is refused, with the exit
// status that returns.
std::optional<int> TakeLogo(const Arguments& args, const Input& file, std::optional<Input>& converted) {
  const Diagnosis diagnosis = DiagnoseBitmap(file);
  if (diagnosis.verdict == Verdict::kUnreadable) return Complain(args, diagnosis.error, Exit::kFileError);
  if (diagnosis.verdict == Verdict::kUsable) return ConvertBitmap(args, file, converted);
  // A logo.bin has no header to tell it by; its length is all there is.
  if (file.size() == logo::kLogoFileBytes) return std::nullopt;
  return Complain(args, NotALogo(file, diagnosis), Exit::kNotALogo);
}

// The mark of an unfinished change on the host, for messages.
fs::path MarkPath(const fs::path& root) {
  const auto found = platform::CreatableTerminalPath(platform::kLogoPendingMark);
  return found ? *found : root / "ResidentFlash/System/logo.pending";
}

// The terminal always has "\ResidentFlash\System", which holds the mark; a terminal
// folder made by hand may lack it, and gets it here, durably.
bool MarkChange() {
  for (const WCHAR* folder : {_T("\\ResidentFlash"), _T("\\ResidentFlash\\System")}) {
    std::error_code why;
    if (platform::FindTerminalPath(folder, &why) || why != std::errc::no_such_file_or_directory) continue;
    const auto made = platform::CreatableTerminalPath(folder);
    if (!made || ::mkdir(made->c_str(), 0777) != 0 ||
        !platform::HostIo::Open(made->parent_path(), platform::HostIo::Mode::kFolder).Sync()) {
      return false;
    }
  }
  return flash::MarkChangePending();
}

fs::path RootOf(const Arguments& args) {
  return platform::ChooseTerminalRoot(args.root ? std::optional<fs::path>(*args.root) : std::nullopt);
}

}  // namespace

AreaScan ScanLogoArea(const fs::path& root) {
  AreaScan scan;
  std::error_code ec;
  if (!fs::is_directory(platform::FlashFolder(root), ec)) return scan;
  AreaReader reader(root);
  if (reader.missing()) {
    scan.state = AreaState::kNoAreaFile;
    return scan;
  }
  const Sector marker = flash::EndMarkerSector();
  Sector sector;
  while (reader.Next(sector)) {
    if (sector == marker) {
      scan.state = AreaState::kMarker;
      return scan;
    }
    ++scan.dataSectors;
  }
  scan.state = reader.error().empty() ? AreaState::kNoMarker : AreaState::kUnreadable;
  scan.error = reader.error();
  return scan;
}

Verification VerifyArea(const fs::path& root, const Input& file) {
  Verification result;
  AreaReader area(root);
  Sector expected{};  // as the writer's buffer: zero once, and a short last piece keeps the rest
  Sector found;
  std::uint32_t sector = 0;
  for (std::uint64_t offset = 0;; ++sector, offset += kSectorBytes) {
    const ssize_t got = platform::ReadFully(file.fd(), expected.data(), expected.size(), static_cast<off_t>(offset));
    if (got < 0) {
      result.error = FileError("cannot read", file.name(), errno);
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
  if (!area.error().empty() && !area.missing()) {
    result.error = area.error();
  } else if (const auto at = FirstDifference(flash::EndMarkerSector(), found)) {
    result.mismatch = AreaMismatch{sector, *at, true};
  }
  return result;
}

int RunProgram(const Arguments& args) {
  const Input given(args.operands.at(0));
  const fs::path root = RootOf(args);
  PutFileName(args.summary, "file", args.operands.at(0));
  PutFileName(args.summary, "flash", platform::FlashFolder(root).string());
  // The writer would say only that a file is missing; the reason is said here.
  if (!given.ok()) return Complain(args, given.error(), Exit::kFileError);
  args.summary["bytes"] = given.size();
  std::optional<Input> converted;
  if (const auto refused = TakeLogo(args, given, converted)) return *refused;
  args.summary["converted"] = converted.has_value();
  const Input& file = converted ? *converted : given;
  if (converted) Say(args, "%s: converted as the dialog's Convert converts it\n", given.name().c_str());
  const std::uint32_t sectors = flash::DataSectorCount(file.size());
  args.summary["dry_run"] = args.dryRun;
  if (args.dryRun) return DryRun(args, file, root);

  args.summary["data_sectors"] = sectors;
  args.summary["end_marker_sector"] = sectors;
  args.summary["programmed"] = false;
  args.summary["verified"] = nullptr;
  if (const std::string why = FlashNotReady(root, (std::uint64_t{sectors} + 1) * kSectorBytes); !why.empty()) {
    return Complain(args, why, Exit::kRefused);
  }
  // The driver the terminal's code would reach, watched.
  platform::HostFlashDriver ownDriver;
  platform::BlockDevice* installed = platform::CurrentSurroundings().flashDevice;
  ObservedDevice observed(installed ? *installed : ownDriver);
  const platform::ScopedSurroundings scope(TerminalAt(root, &observed));
  // Marked as the dialog marks its changes: a programming cut short (killed, a
  // refused sector, a failed finish) is then said so at the dialog's next start.
  if (!MarkChange()) {
    return Complain(args,
                    "cannot write " + MarkPath(root).string() +
                        ", the mark of a logo change that has not completed; nothing was sent",
                    Exit::kFileError);
  }
  const bool showProgress = IsTerminal(stdout) && !args.quiet && !args.json;
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
  if (!written) return ReportFailure(args, observed, file, root);
  args.summary["programmed"] = true;
  if (!flash::ClearChangePending()) {
    return Complain(args,
                    "area 1 is programmed, but " + MarkPath(root).string() +
                        " could not be removed: the dialog's next start will call the change unfinished",
                    Exit::kFileError);
  }
  Say(args, "%s: programmed into area 1 of %s: %s, end marker in sector %u\n", file.name().c_str(),
      platform::FlashFolder(root).c_str(), Count(sectors, "data sector").c_str(), sectors);
  return args.noVerify ? Code(Exit::kOk) : ReportVerification(args, root, file);
}

int RunReadback(const Arguments& args) {
  const fs::path target = args.operands.at(0);
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp, Format::kBin});
  if (!format) return Code(Exit::kUsage);
  const bool picture = format != Format::kBin;
  const fs::path root = RootOf(args);
  PutFileName(args.summary, "output", target.string());
  PutFileName(args.summary, "flash", platform::FlashFolder(root).string());
  args.summary["format"] = *format == Format::kBin ? "bin" : *format == Format::kPng ? "png" : "bmp";
  const AreaScan scan = ScanLogoArea(root);
  if (scan.state == AreaState::kUnreadable) return Complain(args, scan.error, Exit::kFileError);
  if (scan.state != AreaState::kMarker) return Complain(args, Describe(scan, root), Exit::kRefused);
  const bool logoLength = scan.dataSectors == kLogoSectors;
  args.summary["data_sectors"] = scan.dataSectors;
  args.summary["bytes"] = std::uint64_t{scan.dataSectors} * kSectorBytes;
  args.summary["logo"] = logoLength;
  if (picture && !logoLength) {
    return Complain(args,
                    "no valid logo in area 1: " + Describe(scan, root) + "; a logo has " + Grouped(kLogoSectors) +
                        " (" + Grouped(logo::kLogoFileBytes) + " bytes)",
                    Exit::kRefused);
  }

  AreaReader area(root);
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  args.dataOnStandardOutput = output.TookStandardOutput();
  std::vector<std::byte> logoBin;
  Sector sector;
  for (std::uint32_t s = 0; s < scan.dataSectors; ++s) {
    if (!area.Next(sector)) {
      return Complain(args, area.error().empty() ? "area 1 changed while it was read" : area.error(), Exit::kFileError);
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

  Say(args, "%s: %s of area 1 of %s\n", target.c_str(), picture ? "the logo" : "the data",
      platform::FlashFolder(root).c_str());
  if (!picture && !logoLength) {
    Say(args, "  note: %s; a logo has %s, so the terminal shows no picture from it\n", Describe(scan, root).c_str(),
        Grouped(kLogoSectors).c_str());
  }
  return Code(Exit::kOk);
}

}  // namespace logo_tool
