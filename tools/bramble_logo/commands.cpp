// check, prepare, convert, show and startup: the commands that work on files of
// the PC alone.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "logo/converter.h"
#include "logo/image_format.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/numbers.h"
#include "tools/bramble_logo/output_file.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

const char* const kTimes = "\u00D7";

// Up to `count` bytes from `offset`; fewer where the file ends. Nothing but an
// error number when the file cannot be read.
int ReadAt(int fd, std::uint64_t offset, std::size_t count, std::vector<std::byte>& bytes) {
  bytes.resize(count);
  const ssize_t got = platform::ReadFully(fd, bytes.data(), count, static_cast<off_t>(offset));
  if (got < 0) return errno;
  bytes.resize(static_cast<std::size_t>(got));
  return 0;
}

std::optional<Fit> ParseFit(const std::optional<std::string>& name) {
  if (!name || *name == "stretch") return Fit::kStretch;
  if (*name == "fit") return Fit::kFit;
  if (*name == "fill") return Fit::kFill;
  return std::nullopt;
}

std::string_view ExtensionOf(Format format) {
  switch (format) {
    case Format::kBmp: return ".bmp";
    case Format::kPng: return ".png";
    case Format::kBin: return ".bin";
  }
  return {};
}

}  // namespace

std::optional<Format> OutputFormat(const Arguments& args, const fs::path& output, std::initializer_list<Format> accepted) {
  std::string extension = output.extension().string();
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension.empty()) return *accepted.begin();
  const auto* found = std::ranges::find(accepted, extension, ExtensionOf);
  if (found != accepted.end()) return *found;
  std::string names;
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    names += std::string(i == 0 ? "" : i + 1 == accepted.size() ? " or " : ", ") +
             std::string(ExtensionOf(accepted.begin()[i]));
  }
  Complain(args, output.string() + ": " + args.command + " writes " + names + " files, as the name ends", Exit::kUsage);
  return std::nullopt;
}

std::vector<std::byte> PictureFile(Format format, std::span<const std::byte> rgb, std::string& error) {
  return format == Format::kBmp ? EncodeLogoBitmap(rgb) : EncodePng(rgb, error);
}

int Complain(const Arguments& args, const std::string& message, Exit exit) {
  std::fflush(stdout);
  std::fprintf(stderr, "bramble-logo %s: %s\n", args.command.c_str(), message.c_str());
  return Code(exit);
}

int RunCheck(const Arguments& args) {
  const fs::path file = args.operands.at(0);
  const Diagnosis diagnosis = DiagnoseBitmap(file);
  if (diagnosis.verdict == Verdict::kUnreadable) return Complain(args, diagnosis.error, Exit::kFileError);

  const bool usable = diagnosis.verdict == Verdict::kUsable;
  if (usable && diagnosis.findings.empty()) {
    std::printf("%s: usable: 800 %s 480, 24 bits per pixel\n", file.c_str(), kTimes);
  } else {
    std::printf("%s: %s\n", file.c_str(), usable ? "usable, with a warning" : "not usable");
  }
  for (const Finding& finding : diagnosis.findings) {
    std::printf("  %s%s\n", finding.blocking ? "- " : "warning: ", finding.text.c_str());
  }
  return static_cast<int>(diagnosis.verdict);
}

int RunPrepare(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  const auto fit = ParseFit(args.fit);
  if (!fit) return Complain(args, "--fit takes stretch, fit or fill, not \"" + *args.fit + "\"", Exit::kUsage);
  if (!OutputFormat(args, target, {Format::kBmp})) return Code(Exit::kUsage);
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);

  const PreparedLogo logo = PrepareLogo(source, *fit);
  switch (logo.status) {
    case PictureStatus::kOk:
      break;
    case PictureStatus::kUnreadable:
      return Complain(args, logo.message, Exit::kFileError);
    case PictureStatus::kDamaged:
      return Complain(args, source.string() + ": damaged picture: " + logo.message, Exit::kRefused);
    case PictureStatus::kNotPicture:
    case PictureStatus::kTooLarge:
      return Complain(args, source.string() + ": " + logo.message, Exit::kRefused);
  }
  if (!output.Write(EncodeLogoBitmap(logo.rgb)) || !output.Commit()) {
    return Complain(args, output.error(), Exit::kFileError);
  }
  std::printf("%s: 800 %s 480, 24 bits per pixel, from %s (%d %s %d, %s)\n", target.c_str(), kTimes, source.c_str(),
              logo.width, kTimes, logo.height, args.fit.value_or("stretch").c_str());
  return Code(Exit::kOk);
}

int RunConvert(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  constexpr int kOutputFailed = static_cast<int>(logo::ConvertResult::kOutputFailed);
  // The converter opens what it is given and would wait on a FIFO; whatever is
  // there but not a file (or folder, which it refuses itself) is refused here.
  struct stat status{};
  if (::stat(source.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    std::string error;
    OpenInput(source, error);
    Complain(args, error, Exit::kRefused);
    return static_cast<int>(logo::ConvertResult::kSourceNotOpened);
  }
  Output output(target);
  const auto writeTo = output.PathToWrite();
  if (!writeTo) {
    Complain(args, output.error(), Exit::kFileError);
    return kOutputFailed;
  }
  const int result = logo::ConvertBitmapFile(source, target, *writeTo);
  std::fflush(stdout);
  if (result == static_cast<int>(logo::ConvertResult::kWritten) && !output.Commit()) {
    Complain(args, output.error(), Exit::kFileError);
    return kOutputFailed;
  }
  return result;
}

int RunShow(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp});
  if (!format) return Code(Exit::kUsage);
  std::string error;
  const UniqueFd file = OpenInput(source, error);
  if (!file) return Complain(args, error, Exit::kFileError);
  // One byte more than a logo.bin tells a longer file from a whole one.
  std::vector<std::byte> logoBin;
  if (const int readError = ReadAt(file.get(), 0, logo::kLogoFileBytes + 1, logoBin); readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  if (logoBin.size() != logo::kLogoFileBytes) {
    struct stat status{};
    const std::uint64_t size = ::fstat(file.get(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : logoBin.size();
    return Complain(args,
                    source.string() + " has " + Count(size, "byte") + "; a logo.bin has " +
                        Grouped(logo::kLogoFileBytes) + " (800 " + kTimes + " 480 pixels of 4 bytes)",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  const auto picture = PictureFile(*format, LogoImageToPicture(logoBin), error);
  if (picture.empty()) return Complain(args, error, Exit::kFileError);
  if (!output.Write(picture) || !output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  std::printf("%s: the logo of %s, 800 %s 480\n", target.c_str(), source.c_str(), kTimes);
  return Code(Exit::kOk);
}

int RunStartup(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  std::string error;
  const UniqueFd file = OpenInput(source, error);
  if (!file) return Complain(args, error, Exit::kFileError);

  // The pre-check's rules, and only those: the startup writer converts whatever
  // passed it.
  std::vector<std::byte> headerBytes;
  if (const int readError = ReadAt(file.get(), 0, logo::kBitmapHeaderBytes, headerBytes); readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  const auto header = logo::ReadBitmapHeader(headerBytes);
  if (!header || !logo::HasLogoGeometry(*header)) {
    const std::string found = header ? std::to_string(header->width) + " " + kTimes + " " + std::to_string(header->height) +
                                           ", " + BitsPerPixel(header->bitCount)
                                     : "too short for a bitmap header";
    return Complain(args,
                    source.string() + " is not 800 " + kTimes + " 480 at 24 bits per pixel (" + found +
                        "); `bramble-logo check` says how to fix it",
                    Exit::kRefused);
  }
  std::vector<std::byte> pixels;
  if (const int readError = ReadAt(file.get(), header->pixelDataOffset, logo::kSourcePixelDataBytes, pixels);
      readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  // As the pre-check: a file whose pixels are not all there is refused.
  if (pixels.size() < logo::kSourcePixelDataBytes) {
    return Complain(args,
                    source.string() + " is cut short (" + Grouped(pixels.size()) + " of " +
                        Grouped(logo::kSourcePixelDataBytes) + " bytes of pixel data); copy the file again",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok() || !output.Write(logo::StartupImageFromPixels(pixels)) || !output.Commit()) {
    return Complain(args, output.error(), Exit::kFileError);
  }
  std::printf("%s: 800 %s 480 RGB565, %s bytes, from %s\n", target.c_str(), kTimes,
              Grouped(logo::kStartupFileBytes).c_str(), source.c_str());
  return Code(Exit::kOk);
}

}  // namespace logo_tool
