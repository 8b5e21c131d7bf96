// bramble-logo's picture codec, over libvips: photos are shrunk while they are
// decoded (a 48-megapixel JPEG is never 48 million pixels in memory), turned
// upright by their orientation tag, taken from their colour profile to sRGB and
// resampled premultiplied; a decoder that finds a fault stops the picture.

#include <dlfcn.h>
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
#include "tools/bramble_logo/picture_format.h"

// After <cstddef> and <cstdio>: it uses size_t and FILE without declaring them.
#include <jpeglib.h>
#include <libheif/heif.h>

namespace logo_tool {
namespace {

// Far beyond any camera, so only a picture made to exhaust the machine (a few
// kilobytes that inflate to gigabytes) is refused for its size.
constexpr std::int64_t kMaxPixels = 1'000'000'000;

// The formats prepare promises. Everything else vips could open is blocked:
// ImageMagick, slides and the raw and matrix formats would widen what hostile
// bytes can reach for no picture that people make a logo of. Logos are often
// drawn as SVG or PDF, so those are rendered (librsvg, poppler) at the logo's
// size. HEIF (HEIC and AVIF) and PDF come from modules of libvips, each loaded
// only for such a file.
constexpr const char* kAllowedLoaders[] = {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif",
                                           "VipsForeignLoadWebp", "VipsForeignLoadTiff", "VipsForeignLoadHeif",
                                           "VipsForeignLoadSvg",  "VipsForeignLoadPdf"};
constexpr char kHeifModule[] = "vips-heif.so";
constexpr char kPdfModule[] = "vips-poppler.so";

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
    // under its install prefix. Loading them all costs a sixth of a photo's time
    // and brings their libraries' bugs within reach of hostile files: a prefix
    // without modules keeps them out, and the two we use are loaded by name.
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

// Where libvips keeps its modules: as this build's libvips was installed, or
// where BRAMBLE_VIPS_MODULE_DIR says (another install of libvips).
std::string ModuleFolder() {
  const char* folder = std::getenv("BRAMBLE_VIPS_MODULE_DIR");
  return folder && *folder ? folder : BRAMBLE_VIPS_MODULE_DIR;
}

// What HEIF this libvips reads: its module, over libheif with the decoders that
// libheif was built with (HEVC for HEIC, AV1 for AVIF).
struct HeifSupport {
  bool heic = false;
  bool avif = false;
};

const HeifSupport& Heif() {
  static const HeifSupport support = [] {
    HeifSupport found;
    if (!Started()) return found;
    const std::string path = ModuleFolder() + "/" + kHeifModule;
    GModule* module = g_module_open(path.c_str(), G_MODULE_BIND_LAZY);
    if (!module) return found;
    g_module_make_resident(module);  // it registers types, which outlive no module
    vips_operation_block_set("VipsForeignLoadHeif", FALSE);
    // The module brought libheif in; it is asked, not loaded again.
    void* libheif = ::dlopen("libheif.so.1", RTLD_NOW | RTLD_NOLOAD);
    const auto hasDecoder = libheif ? reinterpret_cast<decltype(&heif_have_decoder_for_format)>(
                                          ::dlsym(libheif, "heif_have_decoder_for_format"))
                                    : nullptr;
    found.heic = hasDecoder && hasDecoder(heif_compression_HEVC) != 0;
    found.avif = hasDecoder && hasDecoder(heif_compression_AV1) != 0;
    if (libheif) ::dlclose(libheif);
    return found;
  }();
  return support;
}

// The module is found as the HEIF one is; only its loader is unblocked.
bool Pdf() {
  static const bool loaded = [] {
    if (!Started()) return false;
    GModule* module = g_module_open((ModuleFolder() + "/" + kPdfModule).c_str(), G_MODULE_BIND_LAZY);
    if (!module) return false;
    g_module_make_resident(module);
    vips_operation_block_set("VipsForeignLoadPdf", FALSE);
    return vips_type_find("VipsOperation", "pdfload_source") != 0;
  }();
  return loaded;
}

bool Reads(PictureFormat format) {
  switch (format) {
    case PictureFormat::kSvg: return Started() && vips_type_find("VipsOperation", "svgload_source") != 0;
    case PictureFormat::kPdf: return Pdf();
    case PictureFormat::kHeic: return Heif().heic;
    case PictureFormat::kAvif: return Heif().avif;
    case PictureFormat::kHeif: return Heif().heic || Heif().avif;
    case PictureFormat::kNone: return false;
    default: return true;
  }
}

const char* ReadableFormats() {
  static const std::string formats = [] {
    std::string list = "JPEG, PNG, GIF, WebP, TIFF";
    if (Reads(PictureFormat::kHeic)) list += ", HEIC";
    if (Reads(PictureFormat::kAvif)) list += ", AVIF";
    if (Reads(PictureFormat::kSvg)) list += ", SVG";
    if (Reads(PictureFormat::kPdf)) list += ", PDF";
    return list;
  }();
  return formats.c_str();
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

// The format by the file's first bytes: a file that starts as one that prepare
// reads but that no loader takes is damaged, not something else.
PictureFormat Sniff(int fd) {
  std::byte head[kPictureSniffBytes] = {};
  const ssize_t got = ::pread(fd, head, sizeof head, 0);
  return got > 0 ? SniffPictureFormat(std::span(head, static_cast<std::size_t>(got))) : PictureFormat::kNone;
}

struct AreaUnref {
  void operator()(VipsArrayDouble* array) const { vips_area_unref(VIPS_AREA(array)); }
};

// Any picture the resizer left as the logo's opaque 8-bit sRGB pixels on
// `background`: where it is transparent, and around it when it is smaller (fit).
int Finish(VipsImage* fitted, std::uint32_t background, int width, int height, unsigned char* rgb,
           BrambleCodecReport* report) {
  // Building the pipeline decodes nothing: a failure here is a kind of picture
  // that cannot become sRGB (a multiband scan, say), not damage.
  VipsImage* step = nullptr;
  if (vips_colourspace(fitted, &step, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
    return Fail(report, kBrambleCodecNotPicture);
  }
  Image image(step);
  // The pixels are decoded here, once, so a fault in the middle of the file shows
  // here; what follows works on the fitted picture alone.
  image.reset(vips_image_copy_memory(image.get()));
  if (!image) return Fail(report, kBrambleCodecDamaged);
  const std::unique_ptr<VipsArrayDouble, AreaUnref> fill(
      vips_array_double_newv(3, static_cast<double>((background >> 16) & 0xFF),
                             static_cast<double>((background >> 8) & 0xFF), static_cast<double>(background & 0xFF)));
  if (vips_image_hasalpha(image.get())) {
    VipsImage* alpha = nullptr;
    double least = 0;
    if (vips_extract_band(image.get(), &alpha, image->Bands - 1, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
    const Image ownedAlpha(alpha);
    if (vips_min(alpha, &least, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
    report->transparent = least < (image->BandFmt == VIPS_FORMAT_USHORT ? 65535.0 : 255.0);
    if (vips_flatten(image.get(), &step, "background", fill.get(), nullptr) != 0) {
      return Fail(report, kBrambleCodecNotPicture);
    }
    image.reset(step);
  }
  if (vips_cast(image.get(), &step, VIPS_FORMAT_UCHAR, nullptr) != 0) return Fail(report, kBrambleCodecNotPicture);
  image.reset(step);
  if (image->Xsize != width || image->Ysize != height) {
    if (vips_embed(image.get(), &step, (width - image->Xsize) / 2, (height - image->Ysize) / 2, width, height,
                   "extend", VIPS_EXTEND_BACKGROUND, "background", fill.get(), nullptr) != 0) {
      return Fail(report, kBrambleCodecNotPicture);
    }
    image.reset(step);
  }
  if (image->Bands != 3) return Fail(report, kBrambleCodecNotPicture, "not a colour or grey picture");
  std::size_t size = 0;
  const std::unique_ptr<void, GFree> pixels(vips_image_write_to_memory(image.get(), &size));
  if (!pixels) return Fail(report, kBrambleCodecFailed);
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

int FitFile(int fd, int fit, std::uint32_t background, int width, int height, unsigned char* rgb,
            BrambleCodecReport* report) {
  *report = {};
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  const PictureFormat format = Sniff(fd);
  // The tool names a format that this libvips does not read.
  if (!Reads(format)) return Fail(report, kBrambleCodecNotPicture, "not a picture this build reads");
  const Source source(vips_source_new_from_descriptor(fd));
  if (!source) return Fail(report, kBrambleCodecFailed);
  if (!vips_foreign_find_load_source(source.get())) {
    vips_error_clear();  // "not in a known format": which one it is is said here
    TakeWarning();
    return Fail(report, kBrambleCodecDamaged, "no " + std::string(FormatName(format)) + " picture can be decoded from it");
  }
  // The header alone: the size to refuse before any pixel is decoded.
  const Image header(vips_image_new_from_source(source.get(), "", "fail_on", VIPS_FAIL_ON_WARNING, nullptr));
  if (!header) return Fail(report, kBrambleCodecDamaged);
  const bool swap = vips_image_get_orientation_swap(header.get());
  report->width = swap ? header->Ysize : header->Xsize;
  report->height = swap ? header->Xsize : header->Ysize;
  // A drawing is rendered at the logo's size, whatever size it says it has.
  const bool drawing = format == PictureFormat::kSvg || format == PictureFormat::kPdf;
  if (!drawing && std::int64_t{header->Xsize} * header->Ysize > kMaxPixels) {
    return Fail(report, kBrambleCodecTooLarge, "too large");
  }

  // A picture with an embedded profile is taken from it to sRGB. An untagged one
  // is sRGB already and gets no profile at all: with an export profile alone,
  // thumbnail would shift its colours.
  const bool tagged = vips_image_get_typeof(header.get(), VIPS_META_ICC_NAME) != 0;
  const char* exportProfile = tagged ? "srgb" : nullptr;
  VipsImage* fitted = nullptr;
  JpegPixels jpeg;  // read by vips until Finish has the logo's pixels
  if (format == PictureFormat::kJpeg) {
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
                                   CropFor(fit), "export_profile", exportProfile, "option_string",
                                   format == PictureFormat::kPdf ? "fail_on=warning,background=0 0 0 0" : "fail_on=warning",
                                   nullptr) != 0) {
    // The loader's own options are passed in its option string: thumbnail's
    // fail_on does not reach it. poppler would paint a page's empty parts white,
    // where an SVG's are transparent: both show the background.
    return Fail(report, kBrambleCodecDamaged);
  }
  const Image owned(fitted);
  return Finish(owned.get(), background, width, height, rgb, report);
}

int FitPixels(const unsigned char* bgrx, int pictureWidth, int pictureHeight, int fit, std::uint32_t background,
              int width, int height, unsigned char* rgb, BrambleCodecReport* report) {
  *report = {pictureWidth, pictureHeight, 0, {}};
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
  return Finish(owned.get(), background, width, height, rgb, report);
}

int EncodePng(const unsigned char* rgb, int width, int height, void** bytes, std::size_t* size,
              BrambleCodecReport* report) {
  *report = {width, height, 0, {}};
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

constexpr BrambleCodec kCodec = {kBrambleCodecVersion, kMaxPixels, ReadableFormats, FitFile, FitPixels, EncodePng,
                                 FreeBytes};

}  // namespace
}  // namespace logo_tool

extern "C" __attribute__((visibility("default"))) const BrambleCodec* bramble_logo_codec() { return &logo_tool::kCodec; }
