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
#include <cerrno>
#include <cstring>
#include <memory>

#include "logo/image_format.h"
#include "platform/api/little_endian.h"
#include "platform/sim/bitmap_loader.h"
#include "tools/bramble_logo/codec_abi.h"
#include "tools/bramble_logo/logo_tool.h"
#include "tools/bramble_logo/output_file.h"

namespace logo_tool {
namespace fs = std::filesystem;

namespace {

// The 54-byte header of a plain Windows bitmap: the file header and a 40-byte
// info header, no colour table.
constexpr std::size_t kBitmapFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::size_t kPixelDataOffset = kBitmapFileHeaderBytes + kInfoHeaderBytes;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch
constexpr std::size_t kRgbBytes = 3;

// A bitmap is read whole; the preview's loader takes no more than this either.
constexpr std::uint64_t kMaxBitmapFileBytes = std::uint64_t{1} << 30;

constexpr char kCodecFile[] = "bramble-logo-codec.so";

// Beside the program first, as installed; then where this build put it, for the
// tests that run the commands in-process.
std::vector<fs::path> CodecPlaces() {
  std::vector<fs::path> places;
  std::array<char, PATH_MAX> self{};
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length > 0) places.push_back(fs::path(std::string(self.data(), static_cast<std::size_t>(length))).parent_path() / kCodecFile);
#ifdef BRAMBLE_CODEC_DIR
  places.push_back(fs::path(BRAMBLE_CODEC_DIR) / kCodecFile);
#endif
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
    loadError = "the picture codec " + std::string(kCodecFile) + " cannot be loaded (" + tried + ")";
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
void PrepareBitmap(const BrambleCodec& codec, int fd, std::uint64_t fileBytes, Fit fit, PreparedLogo& result) {
  static_assert(std::endian::native == std::endian::little, "decoded pixels are read as blue, green, red bytes");
  if (fileBytes > kMaxBitmapFileBytes) {
    result.status = PictureStatus::kTooLarge;
    result.message = "a bitmap of more than 1 GiB";
    return;
  }
  std::vector<std::byte> file(fileBytes);
  if (const ssize_t got = platform::ReadFully(fd, file.data(), file.size(), 0); got != static_cast<ssize_t>(file.size())) {
    result.message = got < 0 ? std::strerror(errno) : "the file changed while it was read";
    return;
  }
  const auto bitmap = platform::DecodeBitmap(file);
  file = {};
  if (!bitmap) {
    result.status = PictureStatus::kNotPicture;
    result.message = "a bitmap that cannot be read: compressed, in a layout the terminal's loader does not know, "
                     "or cut short";
    return;
  }
  const int height = bitmap->height < 0 ? -bitmap->height : bitmap->height;
  BrambleCodecReport report{};
  result.rgb.resize(LogoRgbBytes());
  result.status = StatusOf(codec.fit_pixels(reinterpret_cast<const unsigned char*>(bitmap->pixels.data()),
                                            bitmap->width, height, static_cast<int>(fit), logo::kLogoWidth,
                                            logo::kLogoHeight, reinterpret_cast<unsigned char*>(result.rgb.data()),
                                            &report));
  result.width = bitmap->width;
  result.height = height;
  result.message = report.reason;
}

}  // namespace

std::size_t LogoRgbBytes() { return std::size_t{logo::kLogoWidth} * logo::kLogoHeight * kRgbBytes; }

PreparedLogo PrepareLogo(const fs::path& file, Fit fit) {
  PreparedLogo result;
  std::string error;
  const UniqueFd input = OpenInput(file, error);
  if (!input) {
    result.message = error;
    return result;
  }
  const BrambleCodec* codec = LoadCodec(error);
  if (!codec) {
    result.message = error;
    return result;
  }
  struct stat status{};
  std::array<char, 2> magic{};
  if (::fstat(input.get(), &status) != 0 || ::pread(input.get(), magic.data(), magic.size(), 0) < 0) {
    result.message = FileError("cannot read", file, errno);
    return result;
  }
  if (magic == std::array<char, 2>{'B', 'M'}) {
    PrepareBitmap(*codec, input.get(), static_cast<std::uint64_t>(status.st_size), fit, result);
  } else {
    BrambleCodecReport report{};
    result.rgb.resize(LogoRgbBytes());
    result.status = StatusOf(codec->fit_file(input.get(), static_cast<int>(fit), logo::kLogoWidth, logo::kLogoHeight,
                                             reinterpret_cast<unsigned char*>(result.rgb.data()), &report));
    result.width = report.width;
    result.height = report.height;
    result.message = report.reason;
  }
  if (result.status == PictureStatus::kTooLarge) {
    result.message = std::to_string(std::int64_t{result.width} * result.height / 1'000'000) +
                     " megapixels: more than any photo (" + std::to_string(codec->maxPixels / 1'000'000) +
                     " megapixels at most)";
  }
  if (result.status != PictureStatus::kOk) result.rgb.clear();
  return result;
}

std::vector<std::byte> EncodeLogoBitmap(std::span<const std::byte> rgb) {
  if (rgb.size() != LogoRgbBytes()) return {};
  std::vector<std::byte> file(kPixelDataOffset + logo::kSourcePixelDataBytes);
  std::byte* at = file.data();
  at[0] = std::byte{'B'};
  at[1] = std::byte{'M'};
  platform::PutU32(at + 2, static_cast<std::uint32_t>(file.size()));
  platform::PutU32(at + 10, static_cast<std::uint32_t>(kPixelDataOffset));
  platform::PutU32(at + 14, kInfoHeaderBytes);
  platform::PutU32(at + 18, static_cast<std::uint32_t>(logo::kLogoWidth));
  platform::PutU32(at + 22, static_cast<std::uint32_t>(logo::kLogoHeight));  // positive: bottom row first
  platform::PutU16(at + 26, 1);                                              // planes
  platform::PutU16(at + 28, logo::kLogoBitCount);
  platform::PutU32(at + 34, static_cast<std::uint32_t>(logo::kSourcePixelDataBytes));
  platform::PutU32(at + 38, kPixelsPerMetre);
  platform::PutU32(at + 42, kPixelsPerMetre);

  std::byte* out = at + kPixelDataOffset;
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
