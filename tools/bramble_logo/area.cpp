// program and readback: logo area 1 of a terminal folder's flash, written through
// the terminal's own flash writer and host driver, and read as that driver reads it.

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/statvfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include "flash/change_mark.h"
#include "flash/flash_writer.h"
#include "logo/converter.h"
#ifndef _WIN32
#include "platform/posix/kernel.h"
#endif
#include "platform/sim/flash_driver.h"
#include "platform/sim/host_io.h"
#include "platform/sim/terminal.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

using flash::kLogoArea;
using flash::kSectorBytes;
constexpr std::uint32_t kLogoSectors = flash::DataSectorCount(logo::kLogoFileBytes);
// No area file the driver wrote is longer.
constexpr std::uint64_t kAreaBytes = std::uint64_t{platform::kFlashSectorsPerArea} * kSectorBytes;

std::string NoFlash(const fs::path& root) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    return "the terminal folder " + root.string() +
           " does not exist: name the one to use with --root DIR or the environment variable BRAMBLE_ROOT";
  }
  return "no flash in " + root.string() + ": " + platform::FlashFolder(root).generic_string() + " does not exist";
}

struct Scan {
  Exit status = Exit::kOk;  // kRefused: no valid logo; kFileError: the area cannot be read
  std::string message;
  std::uint32_t dataSectors = 0;  // before the end marker
};

// Area 1 up to its end marker: the first sector that is the writer's. An area
// file that no driver wrote (no regular file, larger than an area) is refused
// before it is read, and it is read no further than it was long, in large
// pieces: a whole area is four million sectors.
Scan ScanArea(const fs::path& root) {
  std::error_code ec;
  const fs::path path = platform::AreaFilePath(root, kLogoArea);
  if (!fs::is_directory(platform::FlashFolder(root), ec)) return {Exit::kRefused, NoFlash(root)};
  if (!fs::exists(fs::status(path, ec))) {
    return {Exit::kRefused, "area 1 was never programmed: " + path.generic_string() + " does not exist"};
  }
  const Input file(path);
  if (!file.ok()) return {Exit::kFileError, file.error()};
  if (file.size() > kAreaBytes) {
    return {Exit::kFileError, "cannot read " + path.generic_string() + ": " + Count(file.size(), "byte") +
                                  ", more than an area holds (" + Grouped(kAreaBytes) + ")"};
  }
  const auto marker = flash::EndMarkerSector();
  std::uint32_t sector = 0;
  for (std::optional<std::vector<std::byte>> piece; std::uint64_t{sector} * kSectorBytes < file.size();) {
    if (!(piece = file.Read(std::uint64_t{sector} * kSectorBytes, std::size_t{2048} * kSectorBytes))) {
      return {Exit::kFileError, file.error()};
    }
    if (piece->empty()) break;  // it became shorter: the rest is erased
    for (std::size_t at = 0; at < piece->size(); at += kSectorBytes, ++sector) {
      // A sector that the file holds only part of reads as the driver reads it.
      const bool whole = at + kSectorBytes <= piece->size();
      if (whole ? std::equal(marker.begin(), marker.end(), piece->begin() + static_cast<std::ptrdiff_t>(at))
                : std::ranges::equal(platform::ReadAreaSector(root, kLogoArea, sector), marker)) {
        return {Exit::kOk, "area 1 holds " + Count(sector, "data sector") + " (" +
                               Count(std::uint64_t{sector} * kSectorBytes, "byte") + ") before its end marker", sector};
      }
    }
  }
  return {Exit::kRefused, "no valid logo in area 1: no end marker in its " + Count(sector, "sector") +
                              " (a programming that was cut short or refused)"};
}

// Passes every request on to the driver and keeps how the last one went, so that
// a programming that failed is told for what it was.
class ObservedDevice final : public platform::BlockDevice {
 public:
  explicit ObservedDevice(platform::BlockDevice& driver) : m_driver(driver) {}
  HANDLE Open(platform::WStringView name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
    const HANDLE handle = m_driver.Open(name, access, share, disposition, flags);
    opened = handle != INVALID_HANDLE_VALUE;
    return handle;
  }
  bool Control(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override {
    lastCode = code;
    return lastAccepted = m_driver.Control(handle, code, in, inSize, out, outSize, returned);
  }
  void Close(HANDLE handle) override { m_driver.Close(handle); }

  bool opened = false;
  std::optional<DWORD> lastCode;
  bool lastAccepted = false;

 private:
  platform::BlockDevice& m_driver;
};

// Why the driver's open would fail now, from its lock, taken and let go at once;
// `busy`: another program holds it, and the user has only to wait.
std::string FlashLockProblem(const fs::path& folder, bool* busy = nullptr) {
  platform::HostIo::LockResult result = platform::HostIo::LockResult::kUnavailable;
  const fs::path lockFile = platform::FlashLockFile(folder);
  errno = 0;
  platform::HostIo::Lock(lockFile, &result);
  const int error = errno;
  if (busy) *busy = result == platform::HostIo::LockResult::kBusy;
  if (result == platform::HostIo::LockResult::kHeld) return {};
  if (result == platform::HostIo::LockResult::kBusy) {
    return folder.generic_string() + " is in use by another program; try again when it has finished";
  }
  // A lock is never opened through a link, which the open reports as a loop.
  const std::string cause = error == ELOOP ? "it is a symbolic link" : error != 0 ? std::strerror(error) : "";
  return "the flash driver's lock " + lockFile.generic_string() + " cannot be taken" + (cause.empty() ? "" : ": " + cause) +
         "; it must be a regular file that can be written";
}

// Why programming cannot start, found before the first request (empty when it
// can): the driver would only refuse sector 0, which sends the user to the file.
std::string FlashNotReady(const fs::path& root, std::uint64_t areaBytes) {
  const fs::path folder = platform::FlashFolder(root);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return NoFlash(root);
  bool busy = false;
  const std::string lock = FlashLockProblem(folder, &busy);
  if (busy) return lock;
  // The driver rewrites the area file in place, or makes it in the folder.
  const fs::path area = platform::AreaFilePath(root, kLogoArea);
  // It empties the area file before the first sector, so what that holds is room too.
  std::optional<std::uint64_t> room;
  std::uint64_t block = 1;
#ifdef _WIN32
  const bool exists = fs::exists(area, ec);
  if (::_waccess((exists ? area : folder).c_str(), 2) != 0) {
    return FileError("cannot program area 1: cannot write", exists ? area : folder, errno);
  }
  if (ULARGE_INTEGER available{}; ::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
    room = available.QuadPart + (exists ? fs::file_size(area, ec) : 0);
  }
#else
  struct stat existing{};
  const bool exists = ::stat(area.c_str(), &existing) == 0;
  if (::access(exists ? area.c_str() : folder.c_str(), W_OK) != 0) {
    return FileError("cannot program area 1: cannot write", exists ? area : folder, errno);
  }
  if (struct statvfs space{}; ::statvfs(folder.c_str(), &space) == 0) {
    room = std::uint64_t{space.f_bavail} * space.f_frsize +
           (exists ? static_cast<std::uint64_t>(existing.st_blocks) * 512 : 0);
    block = std::max<std::uint64_t>(space.f_frsize, 1);
  }
#endif
  if (room && *room < (areaBytes + block - 1) / block * block) {
    return "cannot program area 1: " + folder.generic_string() + " has room for " + Count(*room, "byte") +
           ", and area 1 needs " + Count(areaBytes, "byte");
  }
  return lock;  // after the folder's own faults, which say more (a read-only file system)
}

int ReportVerification(const Arguments& args, const fs::path& root, const Input& file) {
  flash::Sector expected{};  // as the writer's buffer: a short last piece keeps the rest of the one before
  std::uint32_t sector = 0;
  std::size_t differs = kSectorBytes;  // the first byte of `sector` that differs; kSectorBytes: none
  bool marker = false;
  for (;; ++sector) {
    const auto piece = file.Read(std::uint64_t{sector} * kSectorBytes, kSectorBytes);
    if (!piece) return Complain(args, file.error(), Exit::kFileError);
    marker = piece->empty();
    std::ranges::copy(*piece, expected.begin());
    const flash::Sector sent = marker ? flash::EndMarkerSector() : expected;
    differs = static_cast<std::size_t>(std::ranges::mismatch(sent, platform::ReadAreaSector(root, kLogoArea, sector)).in1 -
                                       sent.begin());
    if (differs < kSectorBytes || marker) break;
  }
  args.summary["verified"] = differs == kSectorBytes;
  if (differs == kSectorBytes) {
    Say(args, "verified: area 1 holds what was sent, end marker included\n");
    return Code(Exit::kOk);
  }
  args.summary["mismatch"] = {{"sector", sector}, {"byte", differs}, {"end_marker", marker}};
  return Complain(args, std::string("verify: ") + (marker ? "the end marker in sector " : "sector ") +
                            std::to_string(sector) + " of area 1 differs from what was sent, from byte " +
                            std::to_string(differs), Exit::kMismatch);
}

// What a programming that the writer reports failed did, from the request that failed.
int ReportFailure(const Arguments& args, const ObservedDevice& device, const Input& file, const fs::path& root) {
  if (!device.opened) {
    const std::string problem = FlashLockProblem(platform::FlashFolder(root));
    return Complain(args, (problem.empty() ? "the flash driver could not be opened" : problem) + "; nothing was sent",
                    Exit::kRefused);
  }
  if (device.lastCode == IOCTL_AREA_WRITE_FINISH && !device.lastAccepted) {
    return Complain(args, "area 1 could not be made durable (the finish request failed): a power cut may lose the "
                          "logo; program it again", Exit::kRefused);
  }
  if (device.lastCode && !device.lastAccepted) {
    return Complain(args, "area 1 refused a sector (the driver's line says which); nothing after it was written",
                    Exit::kRefused);
  }
  return Complain(args, file.name().string() + " became shorter while it was programmed; area 1 holds no end marker: "
                                               "program it again", Exit::kFileError);
}

// What makes `file` no logo, and how to make one of it.
std::string NotALogo(const Input& file, const Diagnosis& diagnosis) {
  const std::string name = file.name().string(), lead = name + " is not a logo: ";
  // A bitmap header that check could read: the rule the dialog would refuse it by.
  const auto rule = std::ranges::find_if(diagnosis.findings, [](const Finding& finding) {
    return finding.blocking && finding.rule != "length" && finding.rule != "signature";
  });
  if (rule != diagnosis.findings.end()) {
    return lead + "a bitmap that the dialog refuses (" + rule->problem + "); `bramble-logo check " + name +
           "` says how to fix it";
  }
  const PictureFormat format = SniffPictureFormat(file.Read(0, kPictureSniffBytes).value_or(std::vector<std::byte>()));
  if (format != PictureFormat::kNone) {
    return lead + Article(FormatName(format)) + " picture; `bramble-logo prepare " + name +
           " logo.bmp` makes a logo bitmap of it, which program takes";
  }
  return lead + Count(file.size(), "byte") + ", and a logo.bin has " + Grouped(logo::kLogoFileBytes) +
         "; make one with `bramble-logo prepare PICTURE logo.bmp`, then program logo.bmp (or `bramble-logo convert "
         "logo.bmp logo.bin`)";
}

// What programming `file` sends, decided before anything is sent: a bitmap that
// the dialog takes, converted as its Convert converts the card's logo.bmp into a
// scratch file (`converted`); a file of a logo.bin's length as it is; nothing else.
std::optional<int> TakeLogo(const Arguments& args, const Input& file, std::optional<Input>& converted) {
  const Diagnosis diagnosis = DiagnoseBitmap(file);
  if (diagnosis.verdict == Verdict::kUnreadable) return Complain(args, diagnosis.error, Exit::kFileError);
  if (diagnosis.verdict != Verdict::kUsable) {
    // A logo.bin has no header to tell it by; its length is all there is.
    if (file.size() == logo::kLogoFileBytes) return std::nullopt;
    return Complain(args, NotALogo(file, diagnosis), Exit::kNotALogo);
  }
  std::string error;
  UniqueFd scratch = OpenScratch(error);
  if (!scratch) return Complain(args, error, Exit::kFileError);
  const auto result = Convert(file, file.name(), PathOfFd(scratch.get()), /*wholePixelData=*/true, nullptr, stderr);
  const std::string name = file.name().string();
  switch (result) {
    case logo::ConvertResult::kWritten:
      converted.emplace(std::move(scratch), file.name());
      return std::nullopt;
    case logo::ConvertResult::kNotLogoBitmap:  // it passed check a moment ago: it changed since
      return Complain(args, name + " is not a logo: the converter refused it (its lines above say why)", Exit::kNotALogo);
    case logo::ConvertResult::kOutputFailed:
      return Complain(args, "cannot write the logo converted from " + name + " in a scratch file", Exit::kFileError);
    default:
      return Complain(args, "cannot read " + name + " to convert it", Exit::kFileError);
  }
}

// The terminal always has "\ResidentFlash\System", which holds the mark of a
// change; a terminal folder made by hand may lack it, and gets it here, durably.
bool MarkChange() {
  for (const WCHAR* folder : {_T("\\ResidentFlash"), _T("\\ResidentFlash\\System")}) {
    std::error_code why;
    if (platform::FindTerminalPath(folder, &why) || why != std::errc::no_such_file_or_directory) continue;
    const auto made = platform::CreatableTerminalPath(folder);
    if (!made || !fs::create_directory(*made, why) ||
        !platform::HostIo::Open(made->parent_path(), platform::HostIo::Mode::kFolder).Sync()) {
      return false;
    }
  }
  return flash::MarkChangePending();
}

fs::path RootOf(const Arguments& args) {
  return platform::ChooseTerminalRoot(args.root ? std::optional(PathOf(*args.root)) : std::nullopt);
}

// The host's terminal folder and flash device for as long as it lives; its debug
// lines go to standard error with the tool's own.
class HostFor {
 public:
  HostFor(platform::Host& host, const fs::path& root, platform::BlockDevice* device)
      : m_host(host), m_root(std::exchange(host.terminalRoot, root)), m_device(std::exchange(host.flashDevice, device)),
        m_debug(std::exchange(host.debugOutput, nullptr)) {}
  ~HostFor() {
    m_host.terminalRoot = m_root;
    m_host.flashDevice = m_device;
    m_host.debugOutput = m_debug;
  }
  HostFor(const HostFor&) = delete;
  HostFor& operator=(const HostFor&) = delete;

 private:
  platform::Host& m_host;
  fs::path m_root;
  platform::BlockDevice* m_device;
  std::function<void(std::string_view)> m_debug;
};

}  // namespace

int RunProgram(const Arguments& args) {
  const Input given(args.operands.at(0));
  const fs::path root = RootOf(args), flashFolder = platform::FlashFolder(root);
  PutFileName(args.summary, "file", args.operands.at(0));
  PutFileName(args.summary, "flash", flashFolder.generic_string());
  if (!given.ok()) return Complain(args, given.error(), Exit::kFileError);
  args.summary["bytes"] = given.size();
  std::optional<Input> converted;
  if (const auto refused = TakeLogo(args, given, converted)) return *refused;
  args.summary["converted"] = converted.has_value();
  const Input& file = converted ? *converted : given;
  if (converted) Say(args, "%s: converted as the dialog's Convert converts it\n", given.name().string().c_str());
  // The writer sends the data sectors from sector 0, the end marker right behind them, then the finish request.
  const std::uint32_t sectors = flash::DataSectorCount(file.size());
  args.summary.update({{"dry_run", args.dryRun}, {"data_sectors", sectors}, {"end_marker_sector", sectors}});
  if (args.dryRun) {
    args.summary["finish"] = true;
    Say(args, "%s: dry run, nothing sent to %s; area 1 would get:\n  data sectors 0..%u (%s)\n"
        "  end marker: sector %u\n  finish request\n", file.name().string().c_str(),
        flashFolder.generic_string().c_str(), sectors - 1,
        Count(sectors, "sector").c_str(), sectors);
    return Code(Exit::kOk);
  }
  args.summary.update({{"programmed", false}, {"verified", nullptr}});
  if (const std::string why = FlashNotReady(root, (std::uint64_t{sectors} + 1) * kSectorBytes); !why.empty()) {
    return Complain(args, why, Exit::kRefused);
  }
  // The driver the terminal's code would reach, watched; its debug lines go to
  // standard error with the tool's own.
  platform::HostFlashDriver ownDriver;
  platform::Host& host = platform::CurrentHost();
  ObservedDevice observed(host.flashDevice ? *host.flashDevice : ownDriver);
  const HostFor scope(host, root, &observed);
  // Marked as the dialog marks its changes: one cut short shows at its next start.
  if (!MarkChange()) {
    return Complain(args, "cannot write " + (root / "ResidentFlash/System/logo.pending").generic_string() +
                              ", the mark of a logo change that has not completed; nothing was sent", Exit::kFileError);
  }
  const bool showProgress = ::isatty(STDOUT_FILENO) == 1 && !args.quiet && !args.json;
  const flash::Progress progress = [](std::uint32_t written, std::uint32_t total) {
    if (written != total && written % 64 != 1) return;
    std::printf("\rprogramming sector %u/%u", written, total);
    std::fflush(stdout);
  };
  bool written = false;
  try {
    written = flash::WriteToFlashArea(
        [&](CFile& opened) {
#ifdef _WIN32
          opened.m_hFile = ::CreateFileW(file.PathToRead().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
          opened.m_hFile = platform::OpenHostFile(file.PathToRead());
#endif
          opened.SetFilePath(CString::FromUtf8(file.name().string()));  // named as the user gave it
        },
        showProgress ? progress : flash::Progress{});
  } catch (const CFileException& exception) {
    if (showProgress) std::printf("\n");
    return Complain(args, exception.GetErrorMessage().ToUtf8(), Exit::kFileError);
  }
  if (showProgress) std::printf("\n");
  if (!written) return ReportFailure(args, observed, file, root);
  args.summary["programmed"] = true;
  if (!flash::ClearChangePending()) {
    return Complain(args, "area 1 is programmed, but " + (root / "ResidentFlash/System/logo.pending").generic_string() +
                              " could not be removed: the dialog's next start will call the change unfinished",
                    Exit::kFileError);
  }
  Say(args, "%s: programmed into area 1 of %s: %s, end marker in sector %u\n", file.name().string().c_str(),
      flashFolder.generic_string().c_str(), Count(sectors, "data sector").c_str(), sectors);
  return args.noVerify ? Code(Exit::kOk) : ReportVerification(args, root, file);
}

int RunReadback(const Arguments& args) {
  const fs::path target = PathOf(args.operands.at(0));
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp, Format::kBin});
  if (!format) return Code(Exit::kUsage);
  const bool picture = format != Format::kBin;
  const fs::path root = RootOf(args), flashFolder = platform::FlashFolder(root);
  PutFileName(args.summary, "output", target.string());
  PutFileName(args.summary, "flash", flashFolder.generic_string());
  args.summary["format"] = *format == Format::kBin ? "bin" : *format == Format::kPng ? "png" : "bmp";
  const Scan scan = ScanArea(root);
  if (scan.status != Exit::kOk) return Complain(args, scan.message, scan.status);
  const bool logoLength = scan.dataSectors == kLogoSectors;
  args.summary.update(
      {{"data_sectors", scan.dataSectors}, {"bytes", std::uint64_t{scan.dataSectors} * kSectorBytes}, {"logo", logoLength}});
  const std::string aLogoHas = "a logo has " + Grouped(kLogoSectors);
  if (picture && !logoLength) {
    return Complain(args, "no valid logo in area 1: " + scan.message + "; " + aLogoHas + " (" +
                              Grouped(logo::kLogoFileBytes) + " bytes)", Exit::kRefused);
  }
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  args.dataOnStandardOutput = output.TookStandardOutput();
  std::vector<std::byte> logoBin;
  for (std::uint32_t sector = 0; sector < scan.dataSectors; ++sector) {
    const auto data = platform::ReadAreaSector(root, kLogoArea, sector);
    if (!picture && !output.Write(data)) return Complain(args, output.error(), Exit::kFileError);
    if (picture) logoBin.insert(logoBin.end(), data.begin(), data.end());
  }
  if (!std::ranges::equal(platform::ReadAreaSector(root, kLogoArea, scan.dataSectors), flash::EndMarkerSector())) {
    return Complain(args, "area 1 changed while it was read; read it back again", Exit::kFileError);
  }
  std::string error;
  const auto file = picture ? PictureOfLogo(*format, logoBin, error) : std::vector<std::byte>();
  if (picture && file.empty()) return Complain(args, error, Exit::kFileError);
  if (!output.Write(file) || !output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  Say(args, "%s: %s of area 1 of %s\n", target.string().c_str(), picture ? "the logo" : "the data",
      flashFolder.generic_string().c_str());
  if (!picture && !logoLength) {
    Say(args, "  note: %s; %s, so the terminal shows no picture from it\n", scan.message.c_str(), aLogoHas.c_str());
  }
  return Code(Exit::kOk);
}

}  // namespace logo_tool
