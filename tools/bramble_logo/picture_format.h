#pragma once
// Picture formats by their first bytes, for the tool and its codec module alike:
// check names what a file is when it is no bitmap, and the codec tells a damaged
// picture from something that is none, and names a format it cannot read.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace logo_tool {

enum class PictureFormat { kNone, kJpeg, kPng, kGif, kWebp, kTiff, kHeic, kAvif, kHeif, kSvg, kPdf, kIco };

// Enough of a file's start for every format below: an SVG's tag may follow an XML
// declaration, a doctype and comments.
inline constexpr std::size_t kPictureSniffBytes = 1024;
// An ISO media file's brands are in its first box, within this.
inline constexpr std::size_t kIsoBrandBytes = 64;

// Text (a UTF-8 byte-order mark, then no control characters but white space) with
// an <svg tag in its first kPictureSniffBytes, in any case, as libvips knows SVG.
inline bool IsSvgText(std::span<const std::byte> head) {
  head = head.first(std::min(head.size(), kPictureSniffBytes));
  std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const auto binary = [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; };
  if (text.empty() || std::ranges::any_of(text.substr(0, 24), binary)) return false;
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("<svg") != std::string::npos;
}

inline PictureFormat SniffPictureFormat(std::span<const std::byte> head) {
  const auto startsWith = [&](std::string_view magic, std::size_t at = 0) {
    return head.size() >= at + magic.size() &&
           std::equal(magic.begin(), magic.end(), head.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, std::byte b) { return static_cast<std::byte>(c) == b; });
  };
  using std::string_view_literals::operator""sv;
  if (startsWith("\xFF\xD8\xFF")) return PictureFormat::kJpeg;
  if (startsWith("\x89PNG\r\n\x1A\n")) return PictureFormat::kPng;
  if (startsWith("GIF8")) return PictureFormat::kGif;
  if (startsWith("RIFF") && startsWith("WEBP", 8)) return PictureFormat::kWebp;
  if (startsWith("II*\0"sv) || startsWith("MM\0*"sv)) return PictureFormat::kTiff;
  if (startsWith("%PDF-")) return PictureFormat::kPdf;
  // An icon's directory: reserved 0, type 1, then how many images (at least one).
  if (startsWith("\0\0\1\0"sv) && head.size() >= 6 && (head[4] != std::byte{0} || head[5] != std::byte{0})) {
    return PictureFormat::kIco;
  }
  if (IsSvgText(head)) return PictureFormat::kSvg;
  if (!startsWith("ftyp", 4)) return PictureFormat::kNone;
  // An ISO media file: its major brand, then compatible ones after the minor
  // version. AVIF and HEIC are both HEIF, with another codec inside.
  const std::size_t end = std::min(head.size(), kIsoBrandBytes);
  for (std::size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
    if (startsWith("avif", at) || startsWith("avis", at)) return PictureFormat::kAvif;
    for (const std::string_view brand : {"heic", "heix", "hevc", "hevx", "heim", "heis"}) {
      if (startsWith(brand, at)) return PictureFormat::kHeic;
    }
  }
  return startsWith("mif1", 8) || startsWith("msf1", 8) ? PictureFormat::kHeif : PictureFormat::kNone;
}

inline std::string_view FormatName(PictureFormat format) {
  static constexpr std::string_view kNames[] = {"", "JPEG", "PNG", "GIF", "WebP", "TIFF", "HEIC", "AVIF", "HEIF", "SVG", "PDF", "ICO"};
  return kNames[static_cast<int>(format)];  // in the order of PictureFormat
}

}  // namespace logo_tool
