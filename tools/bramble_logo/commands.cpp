// check, prepare, convert, show and startup: the commands that work on files of
// the PC alone.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "logo/converter.h"
#include "logo/image_format.h"
#include "logo/precheck.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/files.h"
#include "tools/bramble_logo/picture_format.h"
#include "tools/bramble_logo/wording.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

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
  if (!name || *name == "fit") return Fit::kFit;
  if (*name == "fill") return Fit::kFill;
  if (*name == "stretch") return Fit::kStretch;
  return std::nullopt;
}

std::string_view ExtensionOf(Format format) {
  switch (format) {
    case Format::kBmp: return ".bmp";
    case Format::kPng: return ".png";
    case Format::kBin: return ".bin";
    case Format::kRaw: return ".raw";
  }
  return {};
}

// A warning for the user: on standard error, unless -q asked for errors only.
void Warn(const Arguments& args, const std::string& message) {
  if (args.quiet) return;
  std::fflush(stdout);
  std::fprintf(stderr, "bramble-logo: %s\n", message.c_str());
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    for (std::size_t i = 0; i < 4; ++i) text += i <= count ? kDigits[(group >> (18 - 6 * i)) & 0x3F] : '=';
  }
  return text;
}

nlohmann::ordered_json CheckSummary(const std::string& path, const Diagnosis& diagnosis) {
  nlohmann::ordered_json summary = nlohmann::ordered_json::object();
  PutFileName(summary, "path", path);
  summary["usable"] = diagnosis.verdict == Verdict::kUsable;
  if (diagnosis.verdict == Verdict::kUnreadable) {
    summary["error"] = diagnosis.error;
    return summary;
  }
  const auto valueOrNull = [](const auto& value) { return value ? nlohmann::ordered_json(*value) : nullptr; };
  summary["width"] = valueOrNull(diagnosis.width);
  summary["height"] = valueOrNull(diagnosis.height);
  summary["bits_per_pixel"] = valueOrNull(diagnosis.bitCount);
  summary["findings"] = nlohmann::ordered_json::array();
  for (const Finding& finding : diagnosis.findings) {
    summary["findings"].push_back({{"rule", RuleName(finding.rule)},
                                   {"blocking", finding.blocking},
                                   {"problem", finding.problem},
                                   {"fix", finding.fix}});
  }
  return summary;
}

// Why the converter refused a file, and what to do: a picture of another kind goes
// through prepare first; for a bitmap, check's first finding and the way to check.
std::string ConvertRefusal(const Input& input, const std::string& name) {
  std::array<std::byte, kPictureSniffBytes> head{};
  const ssize_t got = platform::ReadFully(input.fd(), head.data(), head.size(), 0);
  const PictureFormat format = SniffPictureFormat(std::span(head).first(got > 0 ? static_cast<std::size_t>(got) : 0));
  if (format != PictureFormat::kNone) {
    return name + " is " + Article(FormatName(format)) + " picture, not a bitmap: `bramble-logo prepare " + name +
           " logo.bmp` makes a logo of it";
  }
  std::string why;
  for (const Finding& finding : DiagnoseBitmap(input).findings) {
    if (finding.blocking && why.empty()) why = " (" + finding.problem + ")";
  }
  return name + " is not a logo bitmap" + why + ": `bramble-logo check " + name + "` says why and how to fix it";
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
  UsageError(args, output.string() + ": " + args.command + " writes " + names + " files, as the name ends");
  return std::nullopt;
}

std::vector<std::byte> PictureFile(Format format, std::span<const std::byte> rgb, std::string& error) {
  return format == Format::kBmp ? EncodeLogoBitmap(rgb) : EncodePng(rgb, error);
}

ConverterLines::ConverterLines(bool setAside) {
  if (!setAside) return;
  std::fflush(stdout);
  m_kept.reset(std::tmpfile());
  m_saved.reset(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
  if (!m_kept || !m_saved || ::dup2(::fileno(m_kept.get()), STDOUT_FILENO) < 0) m_kept.reset();
}

ConverterLines::~ConverterLines() { Restore(nullptr); }

void ConverterLines::Restore(std::FILE* showOn) {
  if (!m_kept) return;
  std::fflush(stdout);
  ::dup2(m_saved.get(), STDOUT_FILENO);
  std::rewind(m_kept.get());
  std::array<char, 512> chunk;
  for (std::size_t got; showOn && (got = std::fread(chunk.data(), 1, chunk.size(), m_kept.get())) > 0;) {
    std::fwrite(chunk.data(), 1, got, showOn);
  }
  m_kept.reset();
}

int Complain(const Arguments& args, const std::string& message, Exit exit) {
  std::fflush(stdout);
  std::fprintf(stderr, "bramble-logo: %s\n", message.c_str());
  // Only a command that keeps a summary gets the error in it (check keeps one a file).
  if (args.json && !args.summary.empty()) args.summary["error"] = message;
  return Code(exit);
}

int UsageError(const Arguments& args, const std::string& message) {
  std::fflush(stdout);
  const std::string help = args.command.empty() ? "bramble-logo --help" : "bramble-logo " + args.command + " --help";
  std::fprintf(stderr, "bramble-logo: %s; see '%s'\n", message.c_str(), help.c_str());
  args.summary.clear();  // a command that never ran has nothing to sum up
  return Code(Exit::kUsage);
}

void PutFileName(nlohmann::ordered_json& summary, const std::string& key, const std::string& name) {
  summary[key] = name;
  try {
    static_cast<void>(summary[key].dump());
  } catch (const nlohmann::ordered_json::type_error&) {
    summary[key + "_base64"] = Base64(name);
  }
}

void Say(const Arguments& args, const char* format, ...) {
  if (args.quiet || args.json) return;
  va_list values;
  va_start(values, format);
  std::vfprintf(stdout, format, values);
  va_end(values);
}

void PrintJson(const nlohmann::ordered_json& value, bool toStandardError) {
  const std::string line = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  std::fflush(stdout);
  std::fputs(line.c_str(), toStandardError ? stderr : stdout);
}

int RunCheck(const Arguments& args) {
  Verdict worst = Verdict::kUsable;
  for (const std::string& name : args.operands) {
    const Input input(name);
    const Diagnosis diagnosis = DiagnoseBitmap(input);
    worst = std::max(worst, diagnosis.verdict);
    if (diagnosis.verdict == Verdict::kUnreadable) Complain(args, diagnosis.error, Exit::kFileError);
    if (args.json) {
      PrintJson(CheckSummary(name, diagnosis));
      continue;
    }
    if (diagnosis.verdict == Verdict::kUnreadable) continue;
    const bool usable = diagnosis.verdict == Verdict::kUsable;
    if (usable && diagnosis.findings.empty()) {
      Say(args, "%s: usable: %s, 24 bits per pixel\n", input.name().c_str(), Dimensions(800, 480).c_str());
    } else {
      Say(args, "%s: %s\n", input.name().c_str(), usable ? "usable, with a warning" : "not usable");
    }
    for (const Finding& finding : diagnosis.findings) {
      Say(args, "  %s%s; %s\n", finding.blocking ? "- " : "warning: ", finding.problem.c_str(), finding.fix.c_str());
    }
  }
  switch (worst) {
    case Verdict::kUsable: return Code(Exit::kOk);
    case Verdict::kNotUsable: return Code(Exit::kRefused);
    case Verdict::kUnreadable: break;
  }
  return Code(Exit::kFileError);
}

int RunPrepare(const Arguments& args) {
  const fs::path source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  const auto fit = ParseFit(args.fit);
  if (!fit) return UsageError(args, "--fit takes fit, fill or stretch, not '" + *args.fit + "'");
  const auto background = ParseColour(args.background.value_or("black"));
  if (!background) {
    return UsageError(args, "--background takes a colour name such as white or navy, or #rrggbb, not '" +
                                *args.background + "'");
  }
  if (!OutputFormat(args, target, {Format::kBmp})) return Code(Exit::kUsage);
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);

  const Input input(source);
  const PreparedLogo logo = PrepareLogo(input, *fit, *background);
  const std::string from = input.name().string();
  switch (logo.status) {
    case PictureStatus::kOk:
      break;
    case PictureStatus::kUnreadable:
      return Complain(args, logo.message, Exit::kFileError);
    case PictureStatus::kDamaged:
      return Complain(args, from + ": damaged picture: " + logo.message, Exit::kRefused);
    case PictureStatus::kNotPicture:
    case PictureStatus::kTooLarge:
      return Complain(args, from + ": " + logo.message, Exit::kRefused);
  }
  if (logo.transparent && !args.background) {
    Warn(args, from + " has transparent parts, which became black: --background COLOUR (white, #rrggbb) chooses "
                      "another colour");
  }
  if (!output.Write(EncodeLogoBitmap(logo.rgb)) || !output.Commit()) {
    return Complain(args, output.error(), Exit::kFileError);
  }
  Say(args, "%s: %s, 24 bits per pixel, from %s (%s, %s)\n", target.c_str(), Dimensions(800, 480).c_str(),
      from.c_str(), Dimensions(logo.width, logo.height).c_str(), args.fit.value_or("fit").c_str());
  return Code(Exit::kOk);
}

int RunConvert(const Arguments& args) {
  const std::string source = args.operands.at(0);
  const fs::path target = args.operands.at(1);
  if (!OutputFormat(args, target, {Format::kBin})) return Code(Exit::kUsage);
  // The converter would say only that the file did not open, and would wait on a
  // FIFO: what is no file it can read is refused here, with the cause.
  const Input input(source);
  if (!input.ok()) return Complain(args, input.error(), Exit::kFileError);
  Output output(target);
  const auto writeTo = output.PathToWrite();
  if (!writeTo) return Complain(args, output.error(), Exit::kFileError);
  ConverterLines lines(true);
  errno = 0;
  const auto result = static_cast<logo::ConvertResult>(logo::ConvertBitmapFile(input.PathToRead(), target, *writeTo));
  const int error = errno;  // of the converter's last failing call, if any
  lines.Restore(result == logo::ConvertResult::kWritten && !args.quiet ? stdout : nullptr);
  const auto fileError = [&](const char* what, const fs::path& file) {
    return error != 0 ? FileError(what, file, error) : what + (" " + file.string());
  };
  switch (result) {
    case logo::ConvertResult::kWritten: break;
    case logo::ConvertResult::kNotLogoBitmap: return Complain(args, ConvertRefusal(input, source), Exit::kRefused);
    case logo::ConvertResult::kSourceNotOpened:
    case logo::ConvertResult::kSourceUnreadable: return Complain(args, fileError("cannot read", source), Exit::kFileError);
    case logo::ConvertResult::kOutputFailed: return Complain(args, fileError("cannot write", target), Exit::kFileError);
  }
  if (!output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  return Code(Exit::kOk);
}

int RunShow(const Arguments& args) {
  const fs::path target = args.operands.at(1);
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp});
  if (!format) return Code(Exit::kUsage);
  const Input input(args.operands.at(0));
  if (!input.ok()) return Complain(args, input.error(), Exit::kFileError);
  // One byte more than a logo.bin tells a longer file from a whole one.
  std::vector<std::byte> logoBin;
  if (const int readError = ReadAt(input.fd(), 0, logo::kLogoFileBytes + 1, logoBin); readError != 0) {
    return Complain(args, FileError("cannot read", input.name(), readError), Exit::kFileError);
  }
  if (logoBin.size() != logo::kLogoFileBytes) {
    return Complain(args,
                    input.name().string() + " has " + Count(std::max<std::uint64_t>(input.size(), logoBin.size()), "byte") +
                        "; a logo.bin has " + Grouped(logo::kLogoFileBytes) + " (" + Dimensions(800, 480) +
                        " pixels of 4 bytes)",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  std::string error;
  const auto picture = PictureFile(*format, LogoImageToPicture(logoBin), error);
  if (picture.empty()) return Complain(args, error, Exit::kFileError);
  if (!output.Write(picture) || !output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  Say(args, "%s: the logo of %s, %s\n", target.c_str(), input.name().c_str(), Dimensions(800, 480).c_str());
  return Code(Exit::kOk);
}

int RunStartup(const Arguments& args) {
  const fs::path target = args.operands.at(1);
  if (!OutputFormat(args, target, {Format::kRaw})) return Code(Exit::kUsage);
  const Input input(args.operands.at(0));
  if (!input.ok()) return Complain(args, input.error(), Exit::kFileError);
  const std::string source = input.name().string();

  // The pre-check's rules, and only those: the startup writer converts whatever
  // passed it.
  if (input.size() > logo::kMaxLogoBitmapFileBytes) {
    return Complain(args,
                    source + " has " + Count(input.size(), "byte") + ": the dialog reads no bitmap over " +
                        Grouped(logo::kMaxLogoBitmapFileBytes) + " bytes; `bramble-logo check` says how to fix it",
                    Exit::kRefused);
  }
  std::vector<std::byte> headerBytes;
  if (const int readError = ReadAt(input.fd(), 0, logo::kBitmapHeaderBytes, headerBytes); readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  const auto header = logo::ReadBitmapHeader(headerBytes);
  if (!header || !logo::HasLogoGeometry(*header)) {
    const std::string found = header ? Dimensions(header->width, header->height) + ", " + BitsPerPixel(header->bitCount)
                                     : "too short for a bitmap header";
    return Complain(args,
                    source + " is not " + Dimensions(800, 480) + " at 24 bits per pixel (" + found +
                        "); `bramble-logo check` says how to fix it",
                    Exit::kRefused);
  }
  std::vector<std::byte> pixels;
  if (const int readError = ReadAt(input.fd(), header->pixelDataOffset, logo::kSourcePixelDataBytes, pixels);
      readError != 0) {
    return Complain(args, FileError("cannot read", source, readError), Exit::kFileError);
  }
  // As the pre-check: a file whose pixels are not all there is refused.
  if (pixels.size() < logo::kSourcePixelDataBytes) {
    return Complain(args,
                    source + " is cut short (" + Grouped(pixels.size()) + " of " +
                        Grouped(logo::kSourcePixelDataBytes) + " bytes of pixel data); copy the file again",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok() || !output.Write(logo::StartupImageFromPixels(pixels)) || !output.Commit()) {
    return Complain(args, output.error(), Exit::kFileError);
  }
  Say(args, "%s: %s RGB565, %s bytes, from %s\n", target.c_str(), Dimensions(800, 480).c_str(),
      Grouped(logo::kStartupFileBytes).c_str(), source.c_str());
  return Code(Exit::kOk);
}

}  // namespace logo_tool
