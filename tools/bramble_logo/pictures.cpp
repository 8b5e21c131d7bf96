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
#include <charconv>
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
const BrambleCodec* LoadCodec(std::string&) { return bramble_logo_codec(); }
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
  const auto* named = std::ranges::find(kNames, lower, &std::pair<std::string_view, Colour>::first);
  if (named != std::end(kNames)) return named->second;
  if ((lower.size() != 7 && lower.size() != 4) || lower[0] != '#') return std::nullopt;
  if (lower.size() == 4) lower = {'#', lower[1], lower[1], lower[2], lower[2], lower[3], lower[3]};  // #rgb is #rrggbb
  Colour colour = 0;
  const auto [end, error] = std::from_chars(lower.data() + 1, lower.data() + lower.size(), colour, 16);
  return error == std::errc() && end == lower.data() + lower.size() ? std::optional(colour) : std::nullopt;
}

// prepare: any picture it reads as the logo's opaque pixels, fitted inside with
// bars of the background, stretched, or filled with the centre cut out.
int RunPrepare(const Arguments& args) {
  const fs::path target = PathOf(args.operands.at(1));
  const std::string fitName = args.fit.value_or("fit");
  constexpr std::string_view kFits[] = {"stretch", "fit", "fill"};  // as the codec numbers them
  const auto fit = std::ranges::find(kFits, fitName);
  if (fit == std::end(kFits)) return UsageError(args, "--fit takes fit, fill or stretch, not '" + fitName + "'");
  const auto background = ParseColour(args.background.value_or("black"));
  if (!background) {
    return UsageError(args, "--background takes a colour name such as white or navy, or #rrggbb, not '" +
                                *args.background + "'");
  }
  if (!OutputFormat(args, target, {Format::kBmp})) return Code(Exit::kUsage);
  Output output(target);
  if (!output.ok()) return Complain(args, output.error(), Exit::kFileError);
  const Input input(args.operands.at(0));
  const std::string name = input.name().string();
  const auto head = input.ok() ? input.Read(0, kPictureSniffBytes) : std::nullopt;
  if (!head) return Complain(args, input.error(), Exit::kFileError);
  std::string error;
  const BrambleCodec* codec = LoadCodec(error);
  if (!codec) return Complain(args, error, Exit::kFileError);
  std::vector<std::byte> pixels;
  int width = 0, height = 0;
  if (platform::LittleEndianReader(*head).u16(bmp::kSignatureField) == bmp::kSignature) {
    // Read whole, as the preview reads it, and by its own loader.
    const platform::HostFile file = platform::ReadWholeHostFile(input.PathToRead(), platform::kMaxLoadedBitmapFileBytes);
    if (file.status == platform::HostFile::Status::kUnreadable) return Complain(args, "cannot read " + name, Exit::kFileError);
    const auto bitmap = file.status == platform::HostFile::Status::kRead ? platform::DecodeBitmap(file.bytes) : std::nullopt;
    if (!bitmap) {
      return Complain(args, name + ": a bitmap that cannot be read: compressed, in a layout the terminal's loader does "
                                   "not know, larger than it takes (" + Grouped(platform::kMaxLoadedBitmapFileBytes) +
                                   " bytes), or cut short", Exit::kRefused);
    }
    width = std::abs(bitmap->width);
    height = std::abs(bitmap->height);
    pixels.reserve(bitmap->pixels.size() * 3);
    for (const std::uint32_t pixel : bitmap->pixels) {
      pixels.insert(pixels.end(), {std::byte(pixel >> 16), std::byte(pixel >> 8), std::byte(pixel)});
    }
  }
  BrambleCodecReport report{};
  std::vector<std::byte> rgb(logo::kSourcePixelDataBytes);
  const int status = codec->fit(pixels.empty() ? input.fd() : -1, reinterpret_cast<const unsigned char*>(pixels.data()),
                                width, height, static_cast<int>(fit - std::begin(kFits)), *background,
                                reinterpret_cast<unsigned char*>(rgb.data()), &report);
  const PictureFormat format = SniffPictureFormat(*head);
  switch (status) {
    case kBrambleCodecOk: break;
    case kBrambleCodecNotPicture:
      return Complain(args, name + ": " + (format == PictureFormat::kNone
                                               ? "not a picture that prepare reads (" + std::string(report.reason) + " and BMP)"
                                               : Article(FormatName(format)) + " picture: this build reads " + report.reason +
                                                     " and BMP"), Exit::kRefused);
    case kBrambleCodecDamaged: return Complain(args, name + ": damaged picture: " + report.reason, Exit::kRefused);
    case kBrambleCodecTooLarge:
      return Complain(args, name + ": " + std::to_string(std::int64_t{report.width} * report.height / 1'000'000) +
                                " megapixels: more than any photo (" + std::to_string(kBrambleCodecMaxPixels / 1'000'000) +
                                " megapixels at most)", Exit::kRefused);
    default: return Complain(args, report.reason, Exit::kFileError);
  }
  if (report.transparent && !args.background && !args.quiet) {
    std::fflush(stdout);
    std::fprintf(stderr, "bramble-logo: %s has transparent parts, which became black: --background COLOUR (white, "
                 "#rrggbb) chooses another colour\n", name.c_str());
  }
  if (!output.Write(EncodeLogoBitmap(rgb)) || !output.Commit()) return Complain(args, output.error(), Exit::kFileError);
  Say(args, "%s: %s, 24 bits per pixel, from %s (%s, %s)\n", target.string().c_str(),
      Dimensions(logo::kLogoWidth, logo::kLogoHeight).c_str(), name.c_str(),
      Dimensions(report.width, report.height).c_str(), fitName.c_str());
  return Code(Exit::kOk);
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

std::vector<std::byte> PictureOfLogo(Format format, std::span<const std::byte> logoBin, std::string& error) {
  std::vector<std::byte> rgb(logo::kSourcePixelDataBytes);
  std::byte* out = rgb.data();
  for (std::size_t at = 0; at + logo::kLogoPixelBytes <= logoBin.size(); at += logo::kLogoPixelBytes) {
    out = std::reverse_copy(&logoBin[at], &logoBin[at] + 3, out);
  }
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
