// check: the dialog's rules for a logo bitmap, one finding with a fix for each
// rule that fails.

#include "logo/precheck.h"
#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {
namespace {

std::string CompressionName(std::uint32_t compression) {
  return compression == bmp::kRle8        ? "RLE8"
         : compression == bmp::kRle4      ? "RLE4"
         : compression == bmp::kBitFields ? "bit fields"
         : compression == bmp::kAlphaBitFields ? "alpha bit fields" : "unknown";
}

// The findings of a file the dialog takes, or would but for its pixels: pixels
// that are not where the header says become header bytes or black.
void CheckPixelData(std::uint64_t fileBytes, const logo::BitmapHeader& header, std::uint32_t infoHeaderBytes,
                    std::vector<Finding>& findings) {
  const bool knownHeader = infoHeaderBytes >= bmp::kInfoSize && infoHeaderBytes <= bmp::kV5Size;
  const std::uint64_t headerEnd = bmp::kFileHeaderSize + (knownHeader ? infoHeaderBytes : bmp::kInfoSize);
  const std::uint64_t offset = header.pixelDataOffset;
  if (offset < headerEnd) {
    findings.push_back({"pixel-offset", false,
                        "the pixel data starts at byte " + std::to_string(offset) +
                            ", inside the header: header bytes become the bottom left pixels",
                        "save it again with a plain header, or use `prepare`"});
  }
  // The dialog refuses a file whose pixels are not all there: most often a copy
  // to the card that was cut short.
  const std::uint64_t available = fileBytes > offset ? fileBytes - offset : 0;
  if (available >= logo::kSourcePixelDataBytes) return;
  findings.push_back({"pixel-data", true,
                      available == 0 ? "no pixel data: it would start at byte " + Grouped(offset) + ", but the file has " +
                                           Count(fileBytes, "byte")
                                     : "the pixel data has " + Grouped(available) + " of " +
                                           Grouped(logo::kSourcePixelDataBytes) + " bytes: the file is cut short",
                      "copy the file to the card again"});
}

void CheckGeometry(std::span<const std::byte> head, const logo::BitmapHeader& header, std::vector<Finding>& findings) {
  if (header.width == logo::kLogoWidth && header.height == -logo::kLogoHeight) {
    findings.push_back({"top-down", true, "height is " + std::to_string(header.height) +
                        ": the rows are stored top-down", "save it bottom-up"});
  } else if (!logo::HasLogoSize(header)) {
    findings.push_back({"size", true,
                        Dimensions(header.width, header.height) + ": the logo must be " +
                            Dimensions(logo::kLogoWidth, logo::kLogoHeight),
                        "use `prepare`"});
  }
  const auto compression = platform::LittleEndianReader(head).u32(bmp::InFile(bmp::kCompressionField));
  if (compression == bmp::kJpeg || compression == bmp::kPng) {
    // Such a file says 0 bits per pixel: the depth is the embedded picture's.
    findings.push_back({"compression", true,
                        std::string(compression == bmp::kJpeg ? "JPEG" : "PNG") + "-compressed bitmap",
                        "save it uncompressed, 24 bits per pixel"});
  } else if (header.bitCount != logo::kLogoBitCount) {
    const bool palette = header.bitCount == 1 || header.bitCount == 4 || header.bitCount == 8;
    findings.push_back({"bit-count", true, Count(header.bitCount, "bit") + " per pixel" + (palette ? " (a colour table)" : ""),
                        "save it as 24-bit"});
  } else if (compression && *compression != bmp::kRgb) {
    findings.push_back({"compression", true,
                        "compression " + std::to_string(*compression) + " (" + CompressionName(*compression) +
                            "): the converter would copy the stored bytes as pixels",
                        "save it uncompressed"});
  }
}

// `head`: every field check looks at, and enough to name a picture of another kind
// (an SVG's tag may come after a long prelude). `fileBytes`: the real size; no
// header field is trusted for it.
std::vector<Finding> CheckHeader(std::span<const std::byte> head, std::uint64_t fileBytes, Diagnosis& diagnosis) {
  const auto header = logo::ReadBitmapHeader(head);
  if (!header) {
    return {{"length", true, Count(head.size(), "byte") + ": too short for a bitmap header",
             "use `prepare` on the original picture"}};
  }
  // Without the signature or with an OS/2 header the other fields mean nothing.
  if (!header->signature) {
    const PictureFormat other = SniffPictureFormat(head);
    return {{"signature", true,
             other == PictureFormat::kNone ? "does not start with \"BM\": not a Windows bitmap"
                                           : Article(FormatName(other)) + " picture, not a Windows bitmap",
             "use `prepare`"}};
  }
  const std::uint32_t infoHeaderBytes =
      platform::LittleEndianReader(head).u32(bmp::InFile(bmp::kInfoSizeField)).value_or(0);
  if (infoHeaderBytes == bmp::kOs2InfoSize) {
    return {{"header-kind", true, "an OS/2 bitmap (12-byte header), whose fields lie elsewhere",
             "save it as a Windows bitmap, or use `prepare`"}};
  }
  std::vector<Finding> findings;
  diagnosis.width = header->width;
  diagnosis.height = header->height;
  diagnosis.bitCount = header->bitCount;
  if (fileBytes > logo::kMaxLogoBitmapFileBytes) {
    findings.push_back({"file-size", true,
                        Count(fileBytes, "byte") + ": the dialog reads no bitmap over " +
                            Grouped(logo::kMaxLogoBitmapFileBytes) + " bytes",
                        "use `prepare` on the original picture"});
  }
  CheckGeometry(head, *header, findings);
  if (findings.empty()) CheckPixelData(fileBytes, *header, infoHeaderBytes, findings);
  return findings;
}

}  // namespace

Diagnosis DiagnoseBitmap(const Input& file) {
  Diagnosis diagnosis;
  const auto bytes = file.ok() ? file.Read(0, kPictureSniffBytes) : std::nullopt;
  if (!bytes) {
    diagnosis.error = file.error();
    return diagnosis;
  }
  diagnosis.findings = CheckHeader(*bytes, file.size(), diagnosis);
  diagnosis.verdict = std::ranges::any_of(diagnosis.findings, &Finding::blocking) ? Verdict::kNotUsable : Verdict::kUsable;
  return diagnosis;
}

}  // namespace logo_tool
