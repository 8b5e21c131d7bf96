// The tool's pictures: any picture fitted to the logo, the logo as a 24-bit
// bitmap or a PNG, and a logo.bin back as a picture. Photos are decoded by the
// codec module, loaded at the first picture; bitmaps by the preview's own loader,
// which the terminal trusts with hostile files already.

#ifndef _WIN32
#include <dlfcn.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"
#include "platform/sim/bitmap_loader.h"
#include "platform/sim/host_files.h"
#include "tools/bramble_logo/codec_abi.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// On Windows the codec is part of the program: the Windows Imaging Component it
// is built on comes with every Windows, and costs the other commands nothing.
const BrambleCodec* LoadCodec(std::string& error) {
#ifdef BRAMBLE_LOGO_STATIC_CODEC
  if (const BrambleCodec* codec = bramble_logo_codec(); codec && codec->version == kBrambleCodecVersion) return codec;
#endif
  error = "this build of bramble-logo has no picture codec: it was built without one";
  return nullptr;
}
#else
constexpr char kCodecFile[] = "bramble-logo-codec.so";

// Loaded once and never unloaded, as libvips keeps threads and types that would
// outlive its code. Where BRAMBLE_LOGO_CODEC_DIR says; where the install put it,
// from the program's own place so that an installed tree can be moved whole
// (BRAMBLE_CODEC_FROM_PROGRAM); then beside the program, as a build keeps it.
const BrambleCodec* LoadCodec(std::string& error) {
  static std::string tried;
  static const BrambleCodec* const codec = []() -> const BrambleCodec* {
    std::vector<fs::path> places;
    if (const char* folder = std::getenv("BRAMBLE_LOGO_CODEC_DIR"); folder && *folder) places.push_back(folder);
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (!ec) places.insert(places.end(), {(program / BRAMBLE_CODEC_FROM_PROGRAM).lexically_normal(), program});
    for (const fs::path& place : places) {
      void* module = ::dlopen((place / kCodecFile).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      const auto entry = module ? reinterpret_cast<const BrambleCodec* (*)()>(::dlsym(module, kBrambleCodecEntry)) : nullptr;
      const BrambleCodec* found = entry ? entry() : nullptr;
      if (found && found->version == kBrambleCodecVersion) return found;
      tried += (tried.empty() ? "" : "; ") + (module ? (place / kCodecFile).string() + " is another version" : ::dlerror());
    }
    return nullptr;
  }();
  if (!codec) {
    error = "the picture codec " + std::string(kCodecFile) + " cannot be loaded (" + tried +
            "); reinstall Bramble, or name the folder that holds it with BRAMBLE_LOGO_CODEC_DIR";
  }
  return codec;
}

#endif

}  // namespace

std::optional<Colour> ParseColour(std::string_view text) {
  // The sixteen colours of HTML, the names people know without looking them up.
  static constexpr std::pair<std::string_view, Colour> kNames[] = {
      {"black", 0x000000}, {"silver", 0xC0C0C0}, {"gray", 0x808080},   {"grey", 0x808080},     {"white", 0xFFFFFF},
      {"maroon", 0x800000}, {"red", 0xFF0000},   {"purple", 0x800080}, {"fuchsia", 0xFF00FF}, {"green", 0x008000},
      {"lime", 0x00FF00},  {"olive", 0x808000},  {"yellow", 0xFFFF00}, {"navy", 0x000080},     {"blue", 0x0000FF},
      {"teal", 0x008080},  {"aqua", 0x00FFFF}};
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [name, colour] : kNames) {
    if (lower == name) return colour;
  }
  if ((lower.size() != 7 && lower.size() != 4) || lower[0] != '#') return std::nullopt;
  Colour colour = 0;
  for (const char c : lower.substr(1)) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    // #rgb stands for #rrggbb.
    colour = lower.size() == 4 ? colour << 8 | static_cast<Colour>(digit * 0x11) : colour << 4 | static_cast<Colour>(digit);
  }
  return colour;
}

PreparedLogo PrepareLogo(const Input& input, Fit fit, Colour background) {
  PreparedLogo result;
  const std::string name = input.name().string();
  const auto head = input.ok() ? input.Read(0, kPictureSniffBytes) : std::nullopt;
  const BrambleCodec* codec = head ? LoadCodec(result.message) : nullptr;
  if (!head || !codec) {
    if (!head) result.message = input.error();
    return result;
  }
  std::vector<std::byte> pixels;
  int width = 0, height = 0;
  if (platform::LittleEndianReader(*head).u16(bmp::kSignatureField) == bmp::kSignature) {
    // Read whole, as the preview reads it, and by its own loader.
    const platform::HostFile file = platform::ReadWholeHostFile(input.PathToRead(), platform::kMaxLoadedBitmapFileBytes);
    const auto bitmap = file.status == platform::HostFile::Status::kRead ? platform::DecodeBitmap(file.bytes) : std::nullopt;
    if (file.status == platform::HostFile::Status::kUnreadable) result.message = "cannot read " + name;
    if (!bitmap) {
      if (!result.message.empty()) return result;
      result.status = Exit::kRefused;
      result.message = name + ": a bitmap that cannot be read: compressed, in a layout the terminal's loader does "
                       "not know, larger than it takes (" + Grouped(platform::kMaxLoadedBitmapFileBytes) +
                       " bytes), or cut short";
      return result;
    }
    width = std::abs(bitmap->width);
    height = std::abs(bitmap->height);
    pixels.reserve(bitmap->pixels.size() * 3);
    for (const std::uint32_t pixel : bitmap->pixels) {
      pixels.insert(pixels.end(), {std::byte(pixel >> 16), std::byte(pixel >> 8), std::byte(pixel)});
    }
  }
  BrambleCodecReport report{};
  result.rgb.resize(kLogoRgbBytes);
  const int status = codec->fit(pixels.empty() ? input.fd() : -1, reinterpret_cast<const unsigned char*>(pixels.data()),
                                width, height, static_cast<int>(fit), background,
                                reinterpret_cast<unsigned char*>(result.rgb.data()), &report);
  result.width = report.width;
  result.height = report.height;
  result.transparent = report.transparent != 0;
  result.status = status == kBrambleCodecOk ? Exit::kOk : status == kBrambleCodecFailed ? Exit::kFileError : Exit::kRefused;
  const PictureFormat format = SniffPictureFormat(*head);
  switch (status) {
    case kBrambleCodecOk: return result;
    case kBrambleCodecNotPicture:
      result.message = name + ": " + (format == PictureFormat::kNone ? "not a picture that prepare reads (" + std::string(report.reason) + " and BMP)"
                                      : Article(FormatName(format)) + " picture: this build reads " + report.reason + " and BMP");
      break;
    case kBrambleCodecDamaged: result.message = name + ": damaged picture: " + report.reason; break;
    case kBrambleCodecTooLarge:
      result.message = name + ": " + std::to_string(std::int64_t{report.width} * report.height / 1'000'000) +
                       " megapixels: more than any photo (" + std::to_string(kBrambleCodecMaxPixels / 1'000'000) +
                       " megapixels at most)";
      break;
    default: result.message = report.reason;
  }
  result.rgb.clear();
  return result;
}

std::vector<std::byte> EncodeLogoBitmap(std::span<const std::byte> rgb) {
  constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch
  std::vector<std::byte> file(bmp::kPlainHeaderSize + logo::kSourcePixelDataBytes);
  std::byte* at = file.data();
  const auto info = [&](std::size_t field) { return at + bmp::InFile(field); };
  platform::PutU16(at + bmp::kSignatureField, bmp::kSignature);
  platform::PutU32(at + bmp::kFileSizeField, static_cast<std::uint32_t>(file.size()));
  platform::PutU32(at + bmp::kPixelOffsetField, static_cast<std::uint32_t>(bmp::kPlainHeaderSize));
  platform::PutU32(info(bmp::kInfoSizeField), bmp::kInfoSize);
  platform::PutU32(info(bmp::kWidthField), static_cast<std::uint32_t>(logo::kLogoWidth));
  platform::PutU32(info(bmp::kHeightField), static_cast<std::uint32_t>(logo::kLogoHeight));  // positive: bottom row first
  platform::PutU16(info(bmp::kPlanesField), bmp::kPlanes);
  platform::PutU16(info(bmp::kBitCountField), logo::kLogoBitCount);
  platform::PutU32(info(bmp::kCompressionField), bmp::kRgb);
  platform::PutU32(info(bmp::kImageSizeField), static_cast<std::uint32_t>(logo::kSourcePixelDataBytes));
  platform::PutU32(info(bmp::kXResolutionField), kPixelsPerMetre);
  platform::PutU32(info(bmp::kYResolutionField), kPixelsPerMetre);
  // Rows bottom-up, each pixel blue, green, red.
  std::byte* out = at + bmp::kPlainHeaderSize;
  for (std::size_t y = logo::kLogoHeight; y-- > 0;) {
    const std::byte* in = rgb.data() + y * logo::kSourceRowBytes;
    for (std::size_t x = 0; x < logo::kLogoWidth; ++x, in += 3) out = std::reverse_copy(in, in + 3, out);
  }
  return file;
}

std::vector<std::byte> LogoImageToPicture(std::span<const std::byte> logoBin) {
  std::vector<std::byte> rgb(kLogoRgbBytes);
  std::byte* out = rgb.data();
  for (std::size_t at = 0; at + logo::kLogoPixelBytes <= logoBin.size(); at += logo::kLogoPixelBytes) {
    out = std::reverse_copy(&logoBin[at], &logoBin[at] + 3, out);
  }
  return rgb;
}

std::vector<std::byte> PictureFile(Format format, std::span<const std::byte> rgb, std::string& error) {
  if (format == Format::kBmp) return EncodeLogoBitmap(rgb);
  const BrambleCodec* codec = LoadCodec(error);
  void* bytes = nullptr;
  std::size_t size = 0;
  BrambleCodecReport report{};
  if (!codec) return {};
  if (codec->encode_png(reinterpret_cast<const unsigned char*>(rgb.data()), &bytes, &size, &report) != kBrambleCodecOk) {
    error = std::string("cannot encode the picture as PNG: ") + report.reason;
    return {};
  }
  const std::unique_ptr<void, decltype(&std::free)> owned(bytes, &std::free);
  const auto* data = static_cast<const std::byte*>(owned.get());
  return std::vector<std::byte>(data, data + size);
}

}  // namespace logo_tool
