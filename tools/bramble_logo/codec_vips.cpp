// bramble-logo's picture codec, over libvips: photos are shrunk while they are
// decoded (a 48-megapixel JPEG is never 48 million pixels in memory), turned
// upright by their orientation tag, taken from their colour profile to sRGB and
// resampled premultiplied; a decoder that finds a fault stops the picture.

#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <csetjmp>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "tools/bramble_logo/codec_abi.h"

// After <cstddef> and <cstdio>: it uses size_t and FILE without declaring them.
#include <jpeglib.h>

namespace {

// Far beyond any camera, so only a picture made to exhaust the machine (a few
// kilobytes that inflate to gigabytes) is refused for its size.
constexpr std::int64_t kMaxPixels = 1'000'000'000;

// The formats prepare promises. Everything else vips could open is blocked:
// ImageMagick, document renderers and the raw and matrix formats would widen
// what hostile bytes can reach for no photo that people have.
constexpr const char* kAllowedLoaders[] = {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif",
                                           "VipsForeignLoadWebp", "VipsForeignLoadTiff"};

struct Unref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
using Image = std::unique_ptr<VipsImage, Unref>;
using Source = std::unique_ptr<VipsSource, Unref>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};

// Every decoder warning is a failure under fail_on. Printed, it would only repeat
// the refusal; kept, it often names the fault better than the error that ends
// the load ("libpng read error").
struct Warnings {
  std::mutex lock;
  std::string first;
};
Warnings& DecoderWarnings() {
  static Warnings warnings;
  return warnings;
}

void KeepWarning(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
  const std::string_view text = message ? message : "";
  // vips' own notes on the way out of a failed load say nothing of the fault.
  if (text.starts_with("error in tile") || text.starts_with("read gave")) return;
  Warnings& warnings = DecoderWarnings();
  const std::lock_guard hold(warnings.lock);
  if (warnings.first.empty()) warnings.first = text;
}

std::string TakeWarning() {
  Warnings& warnings = DecoderWarnings();
  const std::lock_guard hold(warnings.lock);
  return std::exchange(warnings.first, {});
}

bool Started() {
  static const bool started = [] {
    // vips finds its plugin modules (ImageMagick, PDF, slide and HEIF loaders)
    // under its install prefix. None of them reads a format we take, and loading
    // them costs a sixth of a photo's time and brings their libraries' bugs
    // within reach of hostile files: a prefix without modules keeps them out.
    ::setenv("VIPSHOME", "/nonexistent/bramble-logo", 0);
    if (VIPS_INIT("bramble-logo") != 0) return false;
    g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING, KeepWarning, nullptr);
    vips_cache_set_max(0);  // one picture a run: a cache would only hold memory
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader : kAllowedLoaders) vips_operation_block_set(loader, FALSE);
    return true;
  }();
  return started;
}

int Fail(BrambleCodecReport* report, int status, std::string_view fallback = "") {
  // vips' lines read "domain: text"; the first one names the fault.
  std::string_view first = vips_error_buffer();
  first = first.substr(0, first.find('\n'));
  if (const auto colon = first.find(": "); colon != std::string_view::npos && colon < 32) first.remove_prefix(colon + 2);
  std::string text(first.empty() ? fallback : first);
  if (text.empty()) text = "unknown fault";
  if (const std::string warning = TakeWarning(); !warning.empty() && warning != text) text += " (" + warning + ")";
  const std::size_t length = std::min(text.size(), sizeof report->reason - 1);
  std::memcpy(report->reason, text.data(), length);
  report->reason[length] = '\0';
  vips_error_clear();
  return status;
}

// A stream over the picture: a JPEG is read a buffer at a time, never mapped
// whole into memory.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// A file description of its own (the descriptor's is shared with vips' source,
// whose position it must not move), through /proc.
UniqueFile ReopenForReading(int fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return UniqueFile(std::fopen(self.c_str(), "rbe"));
}

// JPEGs are decoded here rather than by vips' loader, which reads only as far as
// the pixels it needs and never finishes the decoder: data that goes on past the
// last block (a flipped bit puts the decoder out of step) would pass unseen. This
// decodes the whole scan to its end marker and takes any warning of libjpeg as
// the fault it is, shrinking while it decodes as vips would.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf failed;
  char reason[JMSG_LENGTH_MAX];
};

void JpegError(j_common_ptr decoder) {
  auto* errors = reinterpret_cast<JpegErrors*>(decoder->err);
  (*decoder->err->format_message)(decoder, errors->reason);
  std::longjmp(errors->failed, 1);
}

void JpegMessage(j_common_ptr decoder, int level) {
  if (level < 0) JpegError(decoder);  // a warning: corrupt data the decoder would paper over
}

struct JpegPixels {
  std::vector<unsigned char> bytes;  // rows top first, `bands` bytes a pixel
  int width = 0;
  int height = 0;
  int bands = 0;
  VipsInterpretation interpretation = VIPS_INTERPRETATION_sRGB;
};

// Only objects without destructors live in this frame: a failure leaves it by
// longjmp. `pixels` belongs to the caller.
// A BrambleCodecStatus.
int DecodeJpeg(std::FILE* file, int shrink, JpegPixels& pixels, char (&reason)[JMSG_LENGTH_MAX]) {
  jpeg_decompress_struct decoder{};
  JpegErrors errors{};
  decoder.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegError;
  errors.manager.emit_message = JpegMessage;
  if (setjmp(errors.failed) != 0) {
    jpeg_destroy_decompress(&decoder);
    std::memcpy(reason, errors.reason, sizeof reason);
    return kBrambleCodecDamaged;
  }
  jpeg_create_decompress(&decoder);
  jpeg_stdio_src(&decoder, file);
  jpeg_read_header(&decoder, TRUE);
  const bool cmyk = decoder.jpeg_color_space == JCS_CMYK || decoder.jpeg_color_space == JCS_YCCK;
  decoder.out_color_space = cmyk ? JCS_CMYK : decoder.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  decoder.scale_num = 1;
  decoder.scale_denom = static_cast<unsigned int>(shrink);
  jpeg_start_decompress(&decoder);
  pixels.width = static_cast<int>(decoder.output_width);
  pixels.height = static_cast<int>(decoder.output_height);
  pixels.bands = decoder.output_components;
  pixels.interpretation = cmyk ? VIPS_INTERPRETATION_CMYK
                               : pixels.bands == 1 ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
  const std::size_t rowBytes = std::size_t{decoder.output_width} * static_cast<std::size_t>(pixels.bands);
  try {
    pixels.bytes.resize(rowBytes * decoder.output_height);
  } catch (const std::bad_alloc&) {
    std::snprintf(reason, sizeof reason, "no memory for %u x %u pixels", decoder.output_width, decoder.output_height);
    jpeg_destroy_decompress(&decoder);
    return kBrambleCodecFailed;
  }
  while (decoder.output_scanline < decoder.output_height) {
    JSAMPROW row = pixels.bytes.data() + rowBytes * decoder.output_scanline;
    jpeg_read_scanlines(&decoder, &row, 1);
  }
  // Adobe's CMYK JPEGs store the inks inverted, as vips' loader knows too.
  if (cmyk && decoder.saw_Adobe_marker) {
    for (unsigned char& ink : pixels.bytes) ink = static_cast<unsigned char>(255 - ink);
  }
  jpeg_finish_decompress(&decoder);
  jpeg_destroy_decompress(&decoder);
  return kBrambleCodecOk;
}

// The block shrink that libjpeg does while decoding, chosen as vips' thumbnail
// chooses it: a power of two that leaves at least a halving to the resampler,
// whose filter is better than the decoder's block average.
int JpegShrink(int uprightWidth, int uprightHeight, int fit, int width, int height) {
  const double across = static_cast<double>(uprightWidth) / width, down = static_cast<double>(uprightHeight) / height;
  const double shrink = fit == kBrambleFitFit ? std::max(across, down) : std::min(across, down);
  for (const int factor : {8, 4, 2}) {
    if (shrink >= 2.0 * factor) return factor;
  }
  return 1;
}

// The formats that prepare reads, by their first bytes: a file that starts as one
// of them but that no loader takes is damaged, not something else.
std::string_view KnownFormat(int fd) {
  unsigned char head[12] = {};
  if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return {};
  const auto starts = [&](std::string_view magic, std::size_t at = 0) {
    return std::memcmp(head + at, magic.data(), magic.size()) == 0;
  };
  if (starts("\xFF\xD8\xFF")) return "JPEG";
  if (starts("\x89PNG\r\n\x1A\n")) return "PNG";
  if (starts("GIF8")) return "GIF";
  if (starts("RIFF") && starts("WEBP", 8)) return "WebP";
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return "TIFF";
  return {};
}

// Any picture the resizer left as the logo's opaque 8-bit sRGB pixels, centred on
// black when it is smaller (fit).
int Finish(VipsImage* fitted, int width, int height, unsigned char* rgb, BrambleCodecReport* report) {
  // Building the pipeline decodes nothing: a failure here is a kind of picture
  // that cannot become sRGB (a multiband scan, say), not damage.
  VipsImage* step = nullptr;
  if (vips_colourspace(fitted, &step, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
    return Fail(report, kBrambleCodecNotPicture);
  }
  Image image(step);
  if (vips_image_hasalpha(image.get())) {
    // Transparent parts become black.
    if (vips_flatten(image.get(), &step, nullptr) != 0) return Fail(report, kBrambleCodecNotPicture);
    image.reset(step);
  }
  if (vips_cast(image.get(), &step, VIPS_FORMAT_UCHAR, nullptr) != 0) return Fail(report, kBrambleCodecNotPicture);
  image.reset(step);
  if (image->Xsize != width || image->Ysize != height) {
    if (vips_embed(image.get(), &step, (width - image->Xsize) / 2, (height - image->Ysize) / 2, width, height,
                   nullptr) != 0) {
      return Fail(report, kBrambleCodecNotPicture);
    }
    image.reset(step);
  }
  if (image->Bands != 3) return Fail(report, kBrambleCodecNotPicture, "not a colour or grey picture");
  // The pixels are decoded here, so a fault in the middle of the file shows here.
  std::size_t size = 0;
  const std::unique_ptr<void, GFree> pixels(vips_image_write_to_memory(image.get(), &size));
  if (!pixels) return Fail(report, kBrambleCodecDamaged);
  if (size != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    return Fail(report, kBrambleCodecFailed, "unexpected pixel layout");
  }
  std::memcpy(rgb, pixels.get(), size);
  return kBrambleCodecOk;
}

// stretch ignores the proportions; fit keeps them inside; fill covers and cuts
// off what sticks out, centred.
VipsSize SizeFor(int fit) { return fit == kBrambleFitStretch ? VIPS_SIZE_FORCE : VIPS_SIZE_BOTH; }
VipsInteresting CropFor(int fit) { return fit == kBrambleFitFill ? VIPS_INTERESTING_CENTRE : VIPS_INTERESTING_NONE; }

int FitFile(int fd, int fit, int width, int height, unsigned char* rgb, BrambleCodecReport* report) {
  *report = {};
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  const std::string_view format = KnownFormat(fd);
  const Source source(vips_source_new_from_descriptor(fd));
  if (!source) return Fail(report, kBrambleCodecFailed);
  if (!vips_foreign_find_load_source(source.get())) {
    vips_error_clear();  // "not in a known format": which one it is, or that it is none, is said here
    TakeWarning();
    if (!format.empty()) {
      return Fail(report, kBrambleCodecDamaged, "no " + std::string(format) + " picture can be decoded from it");
    }
    return Fail(report, kBrambleCodecNotPicture, "not a JPEG, PNG, GIF, WebP, TIFF or BMP picture");
  }
  // The header alone: the size to refuse before any pixel is decoded.
  const Image header(vips_image_new_from_source(source.get(), "", "fail_on", VIPS_FAIL_ON_WARNING, nullptr));
  if (!header) return Fail(report, kBrambleCodecDamaged);
  const bool swap = vips_image_get_orientation_swap(header.get());
  report->width = swap ? header->Ysize : header->Xsize;
  report->height = swap ? header->Xsize : header->Ysize;
  if (std::int64_t{header->Xsize} * header->Ysize > kMaxPixels) return Fail(report, kBrambleCodecTooLarge, "too large");

  // A picture with an embedded profile is taken from it to sRGB. An untagged one
  // is sRGB already and gets no profile at all: with an export profile alone,
  // thumbnail would shift its colours.
  const bool tagged = vips_image_get_typeof(header.get(), VIPS_META_ICC_NAME) != 0;
  const char* exportProfile = tagged ? "srgb" : nullptr;
  VipsImage* fitted = nullptr;
  JpegPixels jpeg;  // read by vips until Finish has the logo's pixels
  if (format == "JPEG") {
    const UniqueFile file = ReopenForReading(fd);
    char reason[JMSG_LENGTH_MAX] = {};
    if (!file) return Fail(report, kBrambleCodecFailed, std::strerror(errno));
    if (const int status = DecodeJpeg(file.get(), JpegShrink(report->width, report->height, fit, width, height), jpeg,
                                      reason);
        status != kBrambleCodecOk) {
      return Fail(report, status, reason);
    }
    const Image decoded(vips_image_new_from_memory(jpeg.bytes.data(), jpeg.bytes.size(), jpeg.width, jpeg.height,
                                                   jpeg.bands, VIPS_FORMAT_UCHAR));
    if (!decoded) return Fail(report, kBrambleCodecFailed);
    decoded->Type = jpeg.interpretation;
    // What the header says of the picture goes with its pixels: profile and orientation.
    const void* profile = nullptr;
    std::size_t profileBytes = 0;
    if (tagged && vips_image_get_blob(header.get(), VIPS_META_ICC_NAME, &profile, &profileBytes) == 0) {
      vips_image_set_blob_copy(decoded.get(), VIPS_META_ICC_NAME, profile, profileBytes);
    }
    vips_image_set_int(decoded.get(), VIPS_META_ORIENTATION, vips_image_get_orientation(header.get()));
    if (vips_thumbnail_image(decoded.get(), &fitted, width, "height", height, "size", SizeFor(fit), "crop",
                             CropFor(fit), "export_profile", exportProfile, nullptr) != 0) {
      return Fail(report, kBrambleCodecNotPicture);
    }
  } else if (vips_thumbnail_source(source.get(), &fitted, width, "height", height, "size", SizeFor(fit), "crop",
                                   CropFor(fit), "export_profile", exportProfile, "option_string", "fail_on=warning",
                                   nullptr) != 0) {
    // The loader's own fail_on is passed in its option string: thumbnail's
    // argument of that name does not reach it.
    return Fail(report, kBrambleCodecDamaged);
  }
  const Image owned(fitted);
  return Finish(owned.get(), width, height, rgb, report);
}

int FitPixels(const unsigned char* bgrx, int pictureWidth, int pictureHeight, int fit, int width, int height,
              unsigned char* rgb, BrambleCodecReport* report) {
  *report = {pictureWidth, pictureHeight, {}};
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  const std::size_t bytes = static_cast<std::size_t>(pictureWidth) * static_cast<std::size_t>(pictureHeight) * 4;
  const Image stored(vips_image_new_from_memory(bgrx, bytes, pictureWidth, pictureHeight, 4, VIPS_FORMAT_UCHAR));
  if (!stored) return Fail(report, kBrambleCodecFailed);
  VipsImage* channel[3] = {};
  for (int band = 0; band < 3; ++band) {
    if (vips_extract_band(stored.get(), &channel[band], 2 - band, nullptr) != 0) {
      for (VipsImage* made : channel) Unref()(made);
      return Fail(report, kBrambleCodecFailed);
    }
  }
  const Image red(channel[0]), green(channel[1]), blue(channel[2]);
  VipsImage* joined = nullptr;
  if (vips_bandjoin(channel, &joined, 3, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
  const Image picture(joined);
  picture->Type = VIPS_INTERPRETATION_sRGB;
  VipsImage* fitted = nullptr;
  if (vips_thumbnail_image(picture.get(), &fitted, width, "height", height, "size", SizeFor(fit), "crop", CropFor(fit),
                           nullptr) != 0) {
    return Fail(report, kBrambleCodecFailed);
  }
  const Image owned(fitted);
  return Finish(owned.get(), width, height, rgb, report);
}

int EncodePng(const unsigned char* rgb, int width, int height, void** bytes, std::size_t* size,
              BrambleCodecReport* report) {
  *report = {width, height, {}};
  *bytes = nullptr;
  *size = 0;
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  const std::size_t length = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  const Image picture(vips_image_new_from_memory(rgb, length, width, height, 3, VIPS_FORMAT_UCHAR));
  if (!picture) return Fail(report, kBrambleCodecFailed);
  picture->Type = VIPS_INTERPRETATION_sRGB;
  if (vips_pngsave_buffer(picture.get(), bytes, size, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
  return kBrambleCodecOk;
}

void FreeBytes(void* bytes) { g_free(bytes); }

constexpr BrambleCodec kCodec = {kBrambleCodecVersion, kMaxPixels, FitFile, FitPixels, EncodePng, FreeBytes};

}  // namespace

extern "C" __attribute__((visibility("default"))) const BrambleCodec* bramble_logo_codec() { return &kCodec; }
