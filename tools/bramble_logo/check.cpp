// check: the dialog's rules for a logo bitmap, one finding with a hint for each
// rule that fails.

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

#include "logo/image_format.h"
#include "platform/api/little_endian.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/numbers.h"
#include "tools/bramble_logo/output_file.h"

namespace logo_tool {
namespace {

// Fields beyond the ones the converter reads; check looks at them to explain.
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderSizeField = 14;
constexpr std::size_t kCompressionField = 30;
constexpr std::uint32_t kJpegCompression = 4;
constexpr std::uint32_t kPngCompression = 5;
constexpr std::uint32_t kOs2InfoHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kLongestInfoHeaderBytes = 124;
constexpr std::size_t kProbeBytes = 64;  // every field check looks at lies in here

struct Probe {
  std::array<std::byte, kProbeBytes> bytes{};
  std::size_t read = 0;         // of `bytes`
  std::uint64_t fileBytes = 0;  // the real size; no header field is trusted for it
  std::span<const std::byte> view() const { return {bytes.data(), read}; }
};

// Reads the first bytes and the size; false, with `error`, when the file cannot be read.
bool ReadProbe(const std::filesystem::path& file, Probe& probe, std::string& error) {
  const UniqueFd fd = OpenInput(file, error);
  struct stat status{};
  if (!fd) return false;
  if (::fstat(fd.get(), &status) != 0) {
    error = FileError("cannot read", file, errno);
    return false;
  }
  probe.fileBytes = static_cast<std::uint64_t>(status.st_size);
  const ssize_t got = platform::ReadFully(fd.get(), probe.bytes.data(), probe.bytes.size());
  if (got < 0) {
    error = FileError("cannot read", file, errno);
    return false;
  }
  probe.read = static_cast<std::size_t>(got);
  return true;
}

std::string_view OtherFormat(std::span<const std::byte> bytes) {
  const auto startsWith = [&](std::string_view magic, std::size_t at = 0) {
    if (bytes.size() < at + magic.size()) return false;
    for (std::size_t i = 0; i < magic.size(); ++i) {
      if (bytes[at + i] != static_cast<std::byte>(magic[i])) return false;
    }
    return true;
  };
  if (startsWith("\x89PNG\r\n\x1a\n")) return "a PNG picture";
  if (startsWith("\xFF\xD8\xFF")) return "a JPEG picture";
  if (startsWith("GIF8")) return "a GIF picture";
  if (startsWith("II*") || startsWith("MM\0*")) return "a TIFF picture";
  if (startsWith("RIFF") && startsWith("WEBP", 8)) return "a WebP picture";
  return {};
}

std::string CompressionName(std::uint32_t compression) {
  switch (compression) {
    case 1: return "RLE8";
    case 2: return "RLE4";
    case 3: return "bit fields";
    case 6: return "alpha bit fields";
    default: return "unknown";
  }
}

std::string DepthText(std::uint16_t bitCount) {
  std::string text = BitsPerPixel(bitCount);
  if (bitCount == 1 || bitCount == 4 || bitCount == 8) text += " (a colour table)";
  return text + ": save it as 24-bit";
}

// The warnings of a file the dialog takes: pixels that are not where the header
// says become header bytes or black.
void CheckPixelData(const Probe& probe, const logo::BitmapHeader& header, std::uint32_t infoHeaderBytes,
                    std::vector<Finding>& findings) {
  const bool knownHeader = infoHeaderBytes >= kInfoHeaderBytes && infoHeaderBytes <= kLongestInfoHeaderBytes;
  const std::uint64_t headerEnd = kFileHeaderBytes + (knownHeader ? infoHeaderBytes : kInfoHeaderBytes);
  const std::uint64_t offset = header.pixelDataOffset;
  if (offset < headerEnd) {
    findings.push_back({Rule::kPixelOffset, false,
                        "the pixel data starts at byte " + std::to_string(offset) +
                            ", inside the header: header bytes become the bottom left pixels"});
  }
  // The dialog refuses a file whose pixels are not all there: most often a copy
  // to the card that was cut short.
  const std::uint64_t available = probe.fileBytes > offset ? probe.fileBytes - offset : 0;
  if (available >= logo::kSourcePixelDataBytes) return;
  const std::string copyAgain = "; copy the file to the card again";
  if (available == 0) {
    findings.push_back({Rule::kPixelData, true,
                        "no pixel data: it would start at byte " + Grouped(offset) + ", but the file has " +
                            Count(probe.fileBytes, "byte") + copyAgain});
    return;
  }
  findings.push_back({Rule::kPixelData, true,
                      "the pixel data has " + Grouped(available) + " of " + Grouped(logo::kSourcePixelDataBytes) +
                          " bytes: the file is cut short" + copyAgain});
}

std::vector<Finding> CheckHeader(const Probe& probe) {
  std::vector<Finding> findings;
  const auto header = logo::ReadBitmapHeader(probe.view());
  if (!header) {
    findings.push_back({Rule::kLength, true,
                        Count(probe.read, "byte") + ": too short for a bitmap header; use `prepare` on the original picture"});
    return findings;
  }
  // Without the signature or with an OS/2 header the other fields mean nothing.
  if (!header->signature) {
    const std::string_view other = OtherFormat(probe.view());
    findings.push_back({Rule::kSignature, true,
                        other.empty() ? "does not start with \"BM\": not a Windows bitmap; use `prepare`"
                                      : std::string(other) + ", not a Windows bitmap: use `prepare`"});
    return findings;
  }
  const platform::LittleEndianReader reader(probe.view());
  const std::uint32_t infoHeaderBytes = reader.u32(kInfoHeaderSizeField).value_or(0);
  if (infoHeaderBytes == kOs2InfoHeaderBytes) {
    findings.push_back({Rule::kHeaderKind, true,
                        "an OS/2 bitmap (12-byte header), whose fields lie elsewhere: save it as a Windows bitmap, "
                        "or use `prepare`"});
    return findings;
  }

  if (header->width == logo::kLogoWidth && header->height == -logo::kLogoHeight) {
    findings.push_back({Rule::kTopDown, true, "height is -480: the rows are stored top-down; save it bottom-up"});
  } else if (!logo::HasLogoSize(*header)) {
    findings.push_back({Rule::kSize, true,
                        std::to_string(header->width) + " \u00D7 " + std::to_string(header->height) +
                            ": the logo must be 800 \u00D7 480; use `prepare`"});
  }
  const auto compression = reader.u32(kCompressionField);
  if (compression == kJpegCompression || compression == kPngCompression) {
    // Such a file says 0 bits per pixel: the depth is the embedded picture's.
    findings.push_back({Rule::kCompression, true,
                        std::string(compression == kJpegCompression ? "JPEG" : "PNG") +
                            "-compressed bitmap: save it uncompressed, 24 bits per pixel"});
  } else if (header->bitCount != logo::kLogoBitCount) {
    findings.push_back({Rule::kBitCount, true, DepthText(header->bitCount)});
  } else if (compression && *compression != 0) {
    findings.push_back({Rule::kCompression, true,
                        "compression " + std::to_string(*compression) + " (" + CompressionName(*compression) +
                            "): the converter would copy the stored bytes as pixels; save it uncompressed"});
  }
  if (findings.empty()) CheckPixelData(probe, *header, infoHeaderBytes, findings);
  return findings;
}

}  // namespace

Diagnosis DiagnoseBitmap(const std::filesystem::path& file) {
  Diagnosis diagnosis;
  Probe probe;
  if (!ReadProbe(file, probe, diagnosis.error)) return diagnosis;
  diagnosis.findings = CheckHeader(probe);
  diagnosis.verdict = Verdict::kUsable;
  for (const Finding& finding : diagnosis.findings) {
    if (finding.blocking) diagnosis.verdict = Verdict::kNotUsable;
  }
  return diagnosis;
}

}  // namespace logo_tool
