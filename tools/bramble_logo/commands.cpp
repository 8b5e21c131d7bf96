// check, prepare, convert, show and startup: the commands that work on files of
// the PC alone.

#include <QFile>
#include <QImageReader>
#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "logo/converter.h"
#include "logo/image_format.h"
#include "platform/framework/storage.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/numbers.h"
#include "tools/bramble_logo/output_file.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

const char* const kTimes = "\u00D7";

// Opens a file for reading; a folder counts as unreadable, as it holds no bytes.
platform::UniqueFile OpenForReading(const fs::path& file, std::string& error) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) {
    error = FileError("cannot read", file, EISDIR);
    return nullptr;
  }
  platform::UniqueFile opened(std::fopen(file.c_str(), "rb"));
  if (!opened) error = FileError("cannot read", file, errno);
  return opened;
}

// Up to `count` bytes from `offset`; fewer where the file ends. Nothing but an
// error number when the file cannot be read.
int ReadAt(std::FILE* file, std::uint64_t offset, std::size_t count, std::vector<std::byte>& bytes) {
  bytes.resize(count);
  if (::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return errno;
  bytes.resize(std::fread(bytes.data(), 1, count, file));
  return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

std::optional<Fit> ParseFit(const std::optional<std::string>& name) {
  if (!name || *name == "stretch") return Fit::kStretch;
  if (*name == "fit") return Fit::kFit;
  if (*name == "fill") return Fit::kFill;
  return std::nullopt;
}

}  // namespace

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
  const fs::path output = args.operands.at(1);
  const auto fit = ParseFit(args.fit);
  if (!fit) return Complain(args, "--fit takes stretch, fit or fill, not \"" + *args.fit + "\"", Exit::kUsage);

  std::string error;
  if (!OpenForReading(source, error)) return Complain(args, error, Exit::kFileError);
  QImageReader reader(QFile::decodeName(source.c_str()));
  reader.setAutoTransform(true);  // a photo shows upright, as its viewer shows it
  const QImage picture = reader.read();
  if (picture.isNull()) {
    return Complain(args, source.string() + ": not a picture that can be read (" + reader.errorString().toStdString() + ")",
                    Exit::kRefused);
  }
  if (!WriteOutputFile(output, EncodeLogoBitmap(FitToLogo(picture, *fit)), error)) {
    return Complain(args, error, Exit::kFileError);
  }
  std::printf("%s: 800 %s 480, 24 bits per pixel, from %s (%d %s %d, %s)\n", output.c_str(), kTimes, source.c_str(),
              picture.width(), kTimes, picture.height(), args.fit.value_or("stretch").c_str());
  return Code(Exit::kOk);
}

int RunConvert(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path output = args.operands.at(1);
  // Where no temporary file can be made, or OUT is a folder, the converter writes
  // in place and fails there with its own line.
  PendingOutput pending(output);
  std::error_code ec;
  std::optional<fs::path> writeTo;
  if (pending.ok() && !fs::is_directory(output, ec)) writeTo = pending.temporaryPath();
  const int result = logo::ConvertBitmapFile(source, output, writeTo);
  std::fflush(stdout);
  if (result == static_cast<int>(logo::ConvertResult::kWritten) && writeTo && !pending.Commit()) {
    Complain(args, pending.error(), Exit::kFileError);
    return static_cast<int>(logo::ConvertResult::kOutputFailed);
  }
  return result;
}

int RunShow(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path output = args.operands.at(1);
  std::string error;
  auto file = OpenForReading(source, error);
  if (!file) return Complain(args, error, Exit::kFileError);
  std::error_code ec;
  const auto size = fs::file_size(source, ec);
  if (!ec && size != logo::kLogoFileBytes) {
    return Complain(args,
                    source.string() + " has " + Grouped(size) + " bytes; a logo.bin has " +
                        Grouped(logo::kLogoFileBytes) + " (800 " + kTimes + " 480 pixels of 4 bytes)",
                    Exit::kRefused);
  }
  std::vector<std::byte> logoBin;
  if (const int readError = ReadAt(file.get(), 0, logo::kLogoFileBytes + 1, logoBin); readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  if (logoBin.size() != logo::kLogoFileBytes) {
    return Complain(args, source.string() + " changed while it was read", Exit::kFileError);
  }
  const auto png = EncodePng(LogoImageToPicture(logoBin));
  if (png.empty()) return Complain(args, "cannot encode the picture as PNG", Exit::kFileError);
  if (!WriteOutputFile(output, png, error)) return Complain(args, error, Exit::kFileError);
  std::printf("%s: the logo of %s, 800 %s 480\n", output.c_str(), source.c_str(), kTimes);
  return Code(Exit::kOk);
}

int RunStartup(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path output = args.operands.at(1);
  std::string error;
  auto file = OpenForReading(source, error);
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
                                           ", " + std::to_string(header->bitCount) + " bits per pixel"
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
  if (!WriteOutputFile(output, logo::StartupImageFromPixels(pixels), error)) {
    return Complain(args, error, Exit::kFileError);
  }
  std::printf("%s: 800 %s 480 RGB565, %s bytes, from %s\n", output.c_str(), kTimes,
              Grouped(logo::kStartupFileBytes).c_str(), source.c_str());
  return Code(Exit::kOk);
}

}  // namespace logo_tool
