// The tool's pictures: any picture fitted to the logo, the logo as a 24-bit
// bitmap or a PNG, and a logo.bin back as a picture. Photos are decoded by the
// codec module, loaded here at the first picture; bitmaps by the preview's own
// loader, which the terminal trusts with hostile files already.

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "logo/image_format.h"
#include "platform/api/bitmap_format.h"
#include "platform/api/little_endian.h"
#include "platform/sim/bitmap_loader.h"
#include "tools/bramble_logo/codec_abi.h"
#include "tools/bramble_logo/files.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/picture_format.h"
#include "tools/bramble_logo/wording.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch
constexpr std::size_t kRgbBytes = 3;

constexpr char kCodecFile[] = "bramble-logo-codec.so";

// Where BRAMBLE_LOGO_CODEC_DIR says (the tests, or a module kept elsewhere); where
// the install put it, taken from the program's own place so that an installed
// tree can be moved whole (BRAMBLE_CODEC_FROM_PROGRAM is that relative path);
// then beside the program, as the build folder holds them.
std::vector<fs::path> CodecPlaces() {
  std::vector<fs::path> places;
  if (const char* folder = std::getenv("BRAMBLE_LOGO_CODEC_DIR"); folder && *folder) places.push_back(fs::path(folder) / kCodecFile);
  std::array<char, PATH_MAX> self{};
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length > 0) {
    const fs::path programFolder = fs::path(std::string(self.data(), static_cast<std::size_t>(length))).parent_path();
    places.push_back((programFolder / BRAMBLE_CODEC_FROM_PROGRAM / kCodecFile).lexically_normal());
    places.push_back(programFolder / kCodecFile);
  }
  return places;
}

// Loaded once and never unloaded: libvips keeps worker threads and type
// registrations that would outlive the module's code.
const BrambleCodec* LoadCodec(std::string& error) {
  static std::string loadError;
  static const BrambleCodec* const codec = []() -> const BrambleCodec* {
    std::string tried;
    for (const fs::path& place : CodecPlaces()) {
      void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      if (!module) {
        tried += std::string(tried.empty() ? "" : "; ") + ::dlerror();
        continue;
      }
      const auto entry = reinterpret_cast<const BrambleCodec* (*)()>(::dlsym(module, kBrambleCodecEntry));
      const BrambleCodec* found = entry ? entry() : nullptr;
      if (found && found->version == kBrambleCodecVersion) return found;
      tried += "; " + place.string() + " is another version of the codec";
    }
    loadError = "the picture codec " + std::string(kCodecFile) + " cannot be loaded (" + tried +
                "); reinstall Bramble, or name the folder that holds it with BRAMBLE_LOGO_CODEC_DIR";
    return nullptr;
  }();
  if (!codec) error = loadError;
  return codec;
}

PictureStatus StatusOf(int codecStatus) {
  switch (codecStatus) {
    case kBrambleCodecOk: return PictureStatus::kOk;
    case kBrambleCodecNotPicture: return PictureStatus::kNotPicture;
    case kBrambleCodecDamaged: return PictureStatus::kDamaged;
    case kBrambleCodecTooLarge: return PictureStatus::kTooLarge;
    default: return PictureStatus::kUnreadable;
  }
}

// A bitmap through the preview's loader, then fitted by the codec.
void PrepareBitmap(const BrambleCodec& codec, const Input& input, Fit fit, Colour background, PreparedLogo& result) {
  static_assert(std::endian::native == std::endian::little, "decoded pixels are read as blue, green, red bytes");
  // Read whole, as the preview reads it: it takes no larger file either.
  if (input.size() > platform::kMaxLoadedBitmapFileBytes) {
    result.status = PictureStatus::kTooLarge;
    result.message = "a bitmap of " + Count(input.size(), "byte") + ": the terminal's bitmap loader reads at most " +
                     Grouped(platform::kMaxLoadedBitmapFileBytes) + "; save it as PNG or JPEG and prepare that";
    return;
  }
  std::vector<std::byte> file(input.size());
  if (const ssize_t got = platform::ReadFully(input.fd(), file.data(), file.size(), 0); got != static_cast<ssize_t>(file.size())) {
    result.message = got < 0 ? FileError("cannot read", input.name(), errno)
                             : "cannot read " + input.name().string() + ": it changed while it was read";
    return;
  }
  const auto bitmap = platform::DecodeBitmap(file);
  file = {};
  if (!bitmap) {
    result.status = PictureStatus::kNotPicture;
    result.message = "a bitmap that cannot be read: compressed, in a layout the terminal's loader does not know, "
                     "larger than it takes, or cut short";
    return;
  }
  const int height = bitmap->height < 0 ? -bitmap->height : bitmap->height;
  BrambleCodecReport report{};
  result.rgb.resize(LogoRgbBytes());
  result.status = StatusOf(codec.fit_pixels(reinterpret_cast<const unsigned char*>(bitmap->pixels.data()),
                                            bitmap->width, height, static_cast<int>(fit), background,
                                            logo::kLogoWidth, logo::kLogoHeight,
                                            reinterpret_cast<unsigned char*>(result.rgb.data()), &report));
  result.width = bitmap->width;
  result.height = height;
  result.message = report.reason;
}

// What a file the codec did not take is, and what this build reads instead.
std::string NotReadable(const BrambleCodec& codec, const Input& input) {
  std::array<std::byte, kPictureSniffBytes> head{};
  const ssize_t got = platform::ReadFully(input.fd(), head.data(), head.size(), 0);
  const PictureFormat format = SniffPictureFormat(std::span(head).first(got > 0 ? static_cast<std::size_t>(got) : 0));
  const std::string formats = std::string(codec.readable_formats()) + " and BMP";
  if (format == PictureFormat::kNone) return "not a picture that prepare reads (" + formats + ")";
  return Article(FormatName(format)) + " picture: this build reads " + formats;
}

}  // namespace

std::optional<Colour> ParseColour(std::string_view text) {
  // The sixteen colours of HTML, the names people know without looking them up.
  static constexpr std::pair<std::string_view, Colour> kNames[] = {
      {"black", 0x000000}, {"silver", 0xC0C0C0}, {"gray", 0x808080},   {"grey", 0x808080},   {"white", 0xFFFFFF},
      {"maroon", 0x800000}, {"red", 0xFF0000},   {"purple", 0x800080}, {"fuchsia", 0xFF00FF}, {"green", 0x008000},
      {"lime", 0x00FF00},  {"olive", 0x808000},  {"yellow", 0xFFFF00}, {"navy", 0x000080},   {"blue", 0x0000FF},
      {"teal", 0x008080},  {"aqua", 0x00FFFF}};
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [name, colour] : kNames) {
    if (lower == name) return colour;
  }
  if ((lower.size() != 7 && lower.size() != 4) || lower[0] != '#') return std::nullopt;
  Colour colour = 0;
  for (std::size_t i = 1; i < lower.size(); ++i) {
    const char c = lower[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    // #rgb stands for #rrggbb.
    colour = lower.size() == 4 ? colour << 8 | static_cast<Colour>(digit * 0x11) : colour << 4 | static_cast<Colour>(digit);
  }
  return colour;
}

std::size_t LogoRgbBytes() { return std::size_t{logo::kLogoWidth} * logo::kLogoHeight * kRgbBytes; }

PreparedLogo PrepareLogo(const fs::path& file, Fit fit, Colour background) { return PrepareLogo(Input(file), fit, background); }

PreparedLogo PrepareLogo(const Input& input, Fit fit, Colour background) {
  PreparedLogo result;
  if (!input.ok()) {
    result.message = input.error();
    return result;
  }
  std::string error;
  const BrambleCodec* codec = LoadCodec(error);
  if (!codec) {
    result.message = error;
    return result;
  }
  std::array<char, 2> magic{};
  if (platform::ReadFully(input.fd(), magic.data(), magic.size(), 0) < 0) {
    result.message = FileError("cannot read", input.name(), errno);
    return result;
  }
  if (magic == std::array<char, 2>{'B', 'M'}) {
    PrepareBitmap(*codec, input, fit, background, result);
  } else {
    BrambleCodecReport report{};
    result.rgb.resize(LogoRgbBytes());
    result.status = StatusOf(codec->fit_file(input.fd(), static_cast<int>(fit), background, logo::kLogoWidth,
                                             logo::kLogoHeight, reinterpret_cast<unsigned char*>(result.rgb.data()),
                                             &report));
    result.width = report.width;
    result.height = report.height;
    result.transparent = report.transparent != 0;
    result.message = result.status == PictureStatus::kNotPicture ? NotReadable(*codec, input) : report.reason;
    if (result.status == PictureStatus::kTooLarge) {
      result.message = std::to_string(std::int64_t{result.width} * result.height / 1'000'000) +
                       " megapixels: more than any photo (" + std::to_string(codec->maxPixels / 1'000'000) +
                       " megapixels at most)";
    }
  }
  if (result.status != PictureStatus::kOk) result.rgb.clear();
  return result;
}

std::vector<std::byte> EncodeLogoBitmap(std::span<const std::byte> rgb) {
  if (rgb.size() != LogoRgbBytes()) return {};
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

  std::byte* out = at + bmp::kPlainHeaderSize;
  const std::size_t rowBytes = std::size_t{logo::kLogoWidth} * kRgbBytes;
  for (std::size_t y = logo::kLogoHeight; y-- > 0;) {
    const std::byte* in = rgb.data() + y * rowBytes;
    for (std::size_t x = 0; x < logo::kLogoWidth; ++x, in += kRgbBytes) {
      *out++ = in[2];
      *out++ = in[1];
      *out++ = in[0];
    }
  }
  return file;
}

std::vector<std::byte> LogoImageToPicture(std::span<const std::byte> logoBin) {
  if (logoBin.size() != logo::kLogoFileBytes) return {};
  std::vector<std::byte> rgb(LogoRgbBytes());
  std::byte* out = rgb.data();
  for (std::size_t at = 0; at < logoBin.size(); at += logo::kLogoPixelBytes) {
    *out++ = logoBin[at + 2];
    *out++ = logoBin[at + 1];
    *out++ = logoBin[at];
  }
  return rgb;
}

std::vector<std::byte> EncodePng(std::span<const std::byte> rgb, std::string& error) {
  const BrambleCodec* codec = LoadCodec(error);
  if (!codec || rgb.size() != LogoRgbBytes()) return {};
  void* bytes = nullptr;
  std::size_t size = 0;
  BrambleCodecReport report{};
  if (codec->encode_png(reinterpret_cast<const unsigned char*>(rgb.data()), logo::kLogoWidth, logo::kLogoHeight,
                        &bytes, &size, &report) != kBrambleCodecOk) {
    error = std::string("cannot encode the picture as PNG: ") + report.reason;
    return {};
  }
  const std::unique_ptr<void, void (*)(void*)> owned(bytes, codec->free_bytes);
  const auto* data = static_cast<const std::byte*>(owned.get());
  return std::vector<std::byte>(data, data + size);
}

}  // namespace logo_tool
