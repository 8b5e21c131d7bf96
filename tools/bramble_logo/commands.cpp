// check, prepare, convert, show and startup, the commands that work on files of
// the PC alone, and what every command shares.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>

#include "logo/converter.h"
#include "logo/precheck.h"
#include "platform/framework/storage.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtensions[] = {".bmp", ".png", ".bin", ".raw"};  // by Format

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    std::uint32_t group = 0;
    for (std::size_t i = at; i < at + 3; ++i) group = group << 8 | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
    for (std::size_t i = 0; i < 4; ++i) text += at + i <= bytes.size() ? kDigits[(group >> (18 - 6 * i)) & 0x3F] : '=';
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
  summary.update({{"width", valueOrNull(diagnosis.width)}, {"height", valueOrNull(diagnosis.height)},
                  {"bits_per_pixel", valueOrNull(diagnosis.bitCount)}, {"findings", nlohmann::ordered_json::array()}});
  for (const Finding& finding : diagnosis.findings) {
    summary["findings"].push_back(
        {{"rule", finding.rule}, {"blocking", finding.blocking}, {"problem", finding.problem}, {"fix", finding.fix}});
  }
  return summary;
}

// Why the converter refused a file, and what to do: a picture of another kind goes
// through prepare first; for a bitmap, check's first finding and the way to check.
std::string ConvertRefusal(const Input& input, const std::string& name) {
  const PictureFormat format = SniffPictureFormat(input.Read(0, kPictureSniffBytes).value_or(std::vector<std::byte>()));
  if (format != PictureFormat::kNone) {
    return name + " is " + Article(FormatName(format)) + " picture, not a bitmap: `bramble-logo prepare " + name +
           " logo.bmp` makes a logo of it";
  }
  const Diagnosis diagnosis = DiagnoseBitmap(input);
  const auto blocking = std::ranges::find(diagnosis.findings, true, &Finding::blocking);
  const std::string why = blocking == diagnosis.findings.end() ? "" : " (" + blocking->problem + ")";
  return name + " is not a logo bitmap" + why + ": `bramble-logo check " + name + "` says why and how to fix it";
}

}  // namespace

std::string Grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Count(std::uint64_t value, std::string_view thing) {
  return Grouped(value) + " " + std::string(thing) + (value == 1 ? "" : "s");
}

std::string Dimensions(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " \u00D7 " + std::to_string(height);
}

std::string Article(std::string_view name) {
  const bool vowel = !name.empty() && std::string_view("AEIOUS").find(name.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(name);
}

std::optional<Format> OutputFormat(const Arguments& args, const fs::path& output, std::initializer_list<Format> accepted) {
  std::string extension = output.extension().string();
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension.empty()) return *accepted.begin();
  std::string names;
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    const std::string_view name = kExtensions[static_cast<int>(accepted.begin()[i])];
    if (name == extension) return accepted.begin()[i];
    names += std::string(i == 0 ? "" : i + 1 == accepted.size() ? " or " : ", ") + std::string(name);
  }
  UsageError(args, output.string() + ": " + args.command + " writes " + names + " files, as the name ends");
  return std::nullopt;
}

logo::ConvertResult Convert(const Input& source, const fs::path& output, const fs::path& writeTo, bool wholePixelData,
                            std::FILE* onWritten, std::FILE* otherwise) {
  std::fflush(stdout);
  const platform::UniqueFile kept(std::tmpfile());
  const UniqueFd saved = DuplicateFd(STDOUT_FILENO);
  const bool aside = kept && saved && ::dup2(::fileno(kept.get()), STDOUT_FILENO) >= 0;
  errno = 0;
  const auto result =
      static_cast<logo::ConvertResult>(logo::ConvertBitmapFile(source.PathToRead(), output, writeTo, wholePixelData));
  const int error = errno;
  std::fflush(stdout);
  std::FILE* showOn = result == logo::ConvertResult::kWritten ? onWritten : otherwise;
  if (aside && ::dup2(saved.get(), STDOUT_FILENO) >= 0 && showOn) {
    std::rewind(kept.get());
    std::array<char, 512> chunk;
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), kept.get())) > 0;) {
      std::fwrite(chunk.data(), 1, got, showOn);
    }
  }
  errno = error;
  return result;
}

int Complain(const Arguments& args, const std::string& message, Exit exit) {
  std::fflush(stdout);
  std::fprintf(stderr, "bramble-logo: %s\n", message.c_str());
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
    if (args.json) PrintJson(CheckSummary(name, diagnosis));
    if (args.json || diagnosis.verdict == Verdict::kUnreadable) continue;
    const bool usable = diagnosis.verdict == Verdict::kUsable;
    if (usable && diagnosis.findings.empty()) {
      Say(args, "%s: usable: %s, 24 bits per pixel\n", input.name().string().c_str(),
          Dimensions(logo::kLogoWidth, logo::kLogoHeight).c_str());
    } else {
      Say(args, "%s: %s\n", input.name().string().c_str(), usable ? "usable, with a warning" : "not usable");
    }
    for (const Finding& finding : diagnosis.findings) {
      Say(args, "  %s%s; %s\n", finding.blocking ? "- " : "warning: ", finding.problem.c_str(), finding.fix.c_str());
    }
  }
  return Code(worst == Verdict::kUsable ? Exit::kOk : worst == Verdict::kNotUsable ? Exit::kRefused : Exit::kFileError);
}

int RunConvert(const Arguments& args) {
  const std::string source = args.operands.at(0);
  const fs::path target = PathOf(args.operands.at(1));
  if (!OutputFormat(args, target, {Format::kBin})) return Code(Exit::kUsage);
  // The converter would say only that the file did not open, and would wait on a FIFO.
  const Input input(source);
  if (!input.ok()) return Complain(args, input.error(), Exit::kFileError);
  Output output(target);
  const auto writeTo = output.PathToWrite();
  if (!writeTo) return Complain(args, output.error(), Exit::kFileError);
  const auto result = Convert(input, target, *writeTo, false, args.quiet ? nullptr : stdout, nullptr);
  const int error = errno;  // of the converter's last failing call, if any
  const auto fileError = [&](const char* what, const fs::path& file) {
    return error != 0 ? FileError(what, file, error) : std::string(what) + " " + file.string();
  };
  switch (result) {
    case logo::ConvertResult::kWritten: break;
    case logo::ConvertResult::kNotLogoBitmap: return Complain(args, ConvertRefusal(input, source), Exit::kRefused);
    case logo::ConvertResult::kSourceNotOpened:
    case logo::ConvertResult::kSourceUnreadable:
      return Complain(args, fileError("cannot read", PathOf(source)), Exit::kFileError);
    case logo::ConvertResult::kOutputFailed: return Complain(args, fileError("cannot write", target), Exit::kFileError);
  }
  return output.Commit() ? Code(Exit::kOk) : Complain(args, output.error(), Exit::kFileError);
}

int RunShow(const Arguments& args) {
  const fs::path target = PathOf(args.operands.at(1));
  const auto format = OutputFormat(args, target, {Format::kPng, Format::kBmp});
  if (!format) return Code(Exit::kUsage);
  const Input input(args.operands.at(0));
  // One byte more than a logo.bin tells a longer file from a whole one.
  const auto logoBin = input.ok() ? input.Read(0, logo::kLogoFileBytes + 1) : std::nullopt;
  if (!logoBin) return Complain(args, input.error(), Exit::kFileError);
  if (logoBin->size() != logo::kLogoFileBytes) {
    return Complain(args,
                    input.name().string() + " has " + Count(std::max<std::uint64_t>(input.size(), logoBin->size()), "byte") +
                        "; a logo.bin has " + Grouped(logo::kLogoFileBytes) + " (" +
                        Dimensions(logo::kLogoWidth, logo::kLogoHeight) + " pixels of 4 bytes)",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  std::string error;
  const auto picture = PictureOfLogo(*format, *logoBin, error);
  if (picture.empty()) return Complain(args, error, Exit::kFileError);
  if (!output.Write(picture) || !output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  Say(args, "%s: the logo of %s, %s\n", target.string().c_str(), input.name().string().c_str(),
      Dimensions(logo::kLogoWidth, logo::kLogoHeight).c_str());
  return Code(Exit::kOk);
}

// The pre-check's rules, and only those: the startup writer converts whatever
// passed it.
int RunStartup(const Arguments& args) {
  const fs::path target = PathOf(args.operands.at(1));
  if (!OutputFormat(args, target, {Format::kRaw})) return Code(Exit::kUsage);
  const Input input(args.operands.at(0));
  if (!input.ok()) return Complain(args, input.error(), Exit::kFileError);
  const std::string source = input.name().string();
  const std::string howToFix = "; `bramble-logo check` says how to fix it";
  if (input.size() > logo::kMaxLogoBitmapFileBytes) {
    return Complain(args, source + " has " + Count(input.size(), "byte") + ": the dialog reads no bitmap over " +
                              Grouped(logo::kMaxLogoBitmapFileBytes) + " bytes" + howToFix, Exit::kRefused);
  }
  const auto headerBytes = input.Read(0, logo::kBitmapHeaderBytes);
  if (!headerBytes) return Complain(args, input.error(), Exit::kFileError);
  const auto header = logo::ReadBitmapHeader(*headerBytes);
  if (!header || !logo::HasLogoGeometry(*header)) {
    const std::string found = header ? Dimensions(header->width, header->height) + ", " +
                                           Count(header->bitCount, "bit") + " per pixel"
                                     : "too short for a bitmap header";
    return Complain(args, source + " is not " + Dimensions(logo::kLogoWidth, logo::kLogoHeight) +
                              " at 24 bits per pixel (" + found + ")" + howToFix, Exit::kRefused);
  }
  const auto pixels = input.Read(header->pixelDataOffset, logo::kSourcePixelDataBytes);
  if (!pixels) return Complain(args, input.error(), Exit::kFileError);
  if (pixels->size() < logo::kSourcePixelDataBytes) {
    return Complain(args, source + " is cut short (" + Grouped(pixels->size()) + " of " +
                              Grouped(logo::kSourcePixelDataBytes) + " bytes of pixel data); copy the file again",
                    Exit::kRefused);
  }
  Output output(target);
  if (!output.ok() || !output.Write(logo::StartupImageFromPixels(*pixels)) || !output.Commit()) {
    return Complain(args, output.error(), Exit::kFileError);
  }
  Say(args, "%s: %s RGB565, %s bytes, from %s\n", target.string().c_str(),
      Dimensions(logo::kLogoWidth, logo::kLogoHeight).c_str(), Grouped(logo::kStartupFileBytes).c_str(), source.c_str());
  return Code(Exit::kOk);
}

}  // namespace logo_tool
