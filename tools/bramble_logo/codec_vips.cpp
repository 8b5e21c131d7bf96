// bramble-logo's picture codec, over libvips' thumbnailer: a photo shrinks while
// it is decoded (a 48-megapixel JPEG is never 48 million pixels in memory), is
// turned upright by its orientation tag, taken from its colour profile to sRGB and
// resampled premultiplied; a decoder that finds a fault stops the picture.

#include <dlfcn.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <libheif/heif.h>

#include "logo/image_format.h"
#include "tools/bramble_logo/codec_abi.h"
#include "tools/bramble_logo/picture_format.h"

namespace logo_tool {
namespace {

constexpr int kWidth = logo::kLogoWidth, kHeight = logo::kLogoHeight;

// The formats prepare promises. Everything else vips could open is blocked:
// ImageMagick, slides and the raw and matrix formats would widen what hostile
// bytes can reach for no picture that people make a logo of. HEIF (HEIC and AVIF)
// and PDF come from modules of libvips, each loaded only for such a file.
constexpr const char* kAllowedLoaders[] = {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif",
                                           "VipsForeignLoadWebp", "VipsForeignLoadTiff", "VipsForeignLoadSvg"};

struct Unref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
using Image = std::unique_ptr<VipsImage, Unref>;

// Pixels laid out as the logo's, 3 bytes a pixel, as an sRGB image over them.
Image FromRgb(const unsigned char* rgb, int width, int height) {
  Image image(vips_image_new_from_memory(rgb, std::size_t(width) * std::size_t(height) * 3, width, height, 3,
                                         VIPS_FORMAT_UCHAR));
  if (image) image->Type = VIPS_INTERPRETATION_sRGB;
  return image;
}

// A decoder's warnings are kept rather than printed: under fail_on a loader stops
// at one, and the warning names the fault better than the error that ends the
// load. The JPEG loader does not stop: it warns of data that puts its decoder
// out of step as it lets the file go, which the tool takes as the fault it is.
constexpr std::string_view kJpegWarning = "VipsJpeg: ";
std::mutex g_warningLock;
std::string g_warning;

void KeepWarning(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
  const std::string_view text = message ? message : "";
  // vips' own notes on the way out of a load say nothing of the fault.
  if (text.starts_with("error in tile") || text.starts_with("read gave")) return;
  const std::lock_guard hold(g_warningLock);
  if (g_warning.empty()) g_warning = text;
}

std::string TakeWarning() {
  const std::lock_guard hold(g_warningLock);
  return std::exchange(g_warning, {});
}

bool Started() {
  static const bool started = [] {
    // vips loads every plugin module under its prefix at start, which costs a
    // sixth of a photo's time and brings their libraries within reach of hostile
    // files: a prefix without modules keeps them out, ours are loaded by name.
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

// One of libvips' modules, from where this build's libvips keeps them or where
// BRAMBLE_VIPS_MODULE_DIR says; resident, as the types it registers outlive it.
bool LoadModule(const char* file, const char* loader) {
  const char* folder = std::getenv("BRAMBLE_VIPS_MODULE_DIR");
  const std::string path = std::string(folder && *folder ? folder : BRAMBLE_VIPS_MODULE_DIR) + "/" + file;
  GModule* module = Started() ? g_module_open(path.c_str(), G_MODULE_BIND_LAZY) : nullptr;
  if (!module) return false;
  g_module_make_resident(module);
  vips_operation_block_set(loader, FALSE);
  return true;
}

// HEIC and AVIF are read where libheif was built with their decoders (HEVC, AV1);
// the HEIF module brought libheif in, which is asked, not loaded again.
bool Heif(heif_compression_format compression) {
  static const bool loaded = LoadModule("vips-heif.so", "VipsForeignLoadHeif");
  void* libheif = loaded ? ::dlopen("libheif.so.1", RTLD_NOW | RTLD_NOLOAD) : nullptr;
  const auto has = libheif ? reinterpret_cast<decltype(&heif_have_decoder_for_format)>(
                                 ::dlsym(libheif, "heif_have_decoder_for_format"))
                           : nullptr;
  const bool reads = has && has(compression) != 0;
  if (libheif) ::dlclose(libheif);
  return reads;
}

bool Reads(PictureFormat format) {
  switch (format) {
    case PictureFormat::kSvg: return Started() && vips_type_find("VipsOperation", "svgload_source") != 0;
    case PictureFormat::kPdf: {
      static const bool pdf = LoadModule("vips-poppler.so", "VipsForeignLoadPdf") &&
                              vips_type_find("VipsOperation", "pdfload_source") != 0;
      return pdf;
    }
    case PictureFormat::kHeic: return Heif(heif_compression_HEVC);
    case PictureFormat::kAvif: return Heif(heif_compression_AV1);
    case PictureFormat::kHeif: return Heif(heif_compression_HEVC) || Heif(heif_compression_AV1);
    case PictureFormat::kNone:
    case PictureFormat::kIco: return false;  // libvips reads icons only through ImageMagick, which it is not built with here
    default: return true;
  }
}

int Fail(BrambleCodecReport* report, int status, std::string text = "") {
  // vips' lines read "domain: text"; the first one names the fault.
  std::string_view first = vips_error_buffer();
  first = first.substr(0, first.find('\n'));
  if (const auto colon = first.find(": "); colon != std::string_view::npos && colon < 32) first.remove_prefix(colon + 2);
  if (text.empty()) text = first.empty() ? "unknown fault" : std::string(first);
  if (const std::string warning = TakeWarning(); !warning.empty() && warning != text) text += " (" + warning + ")";
  const std::size_t length = std::min(text.size(), sizeof report->reason - 1);
  std::memcpy(report->reason, text.data(), length);
  report->reason[length] = '\0';
  vips_error_clear();
  return status;
}

// The thumbnail as the logo's opaque 8-bit sRGB pixels on `background`: where it
// is transparent, and around it when it is smaller (fit).
int Finish(VipsImage* fitted, std::uint32_t background, unsigned char* rgb, BrambleCodecReport* report) {
  Image image;
  VipsImage* step = nullptr;
  // A step that succeeded puts its result, `step`, in place of the image.
  const auto took = [&](int result) { return result == 0 && (image.reset(step), true); };
  if (!took(vips_colourspace(fitted, &step, VIPS_INTERPRETATION_sRGB, nullptr))) {
    return Fail(report, kBrambleCodecDamaged);  // a kind of picture that cannot become sRGB
  }
  // The pixels are decoded here, once: a fault anywhere in the file shows here.
  image.reset(vips_image_copy_memory(image.get()));
  if (!image) return Fail(report, kBrambleCodecDamaged);
  const std::unique_ptr<VipsArrayDouble, void (*)(VipsArrayDouble*)> colour(
      vips_array_double_newv(3, double(background >> 16 & 0xFF), double(background >> 8 & 0xFF), double(background & 0xFF)),
      [](VipsArrayDouble* array) { vips_area_unref(VIPS_AREA(array)); });
  if (vips_image_hasalpha(image.get())) {
    VipsImage* alpha = nullptr;
    double least = 0;
    if (vips_extract_band(image.get(), &alpha, image->Bands - 1, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
    const Image ownedAlpha(alpha);
    if (vips_min(alpha, &least, nullptr) != 0) return Fail(report, kBrambleCodecFailed);
    report->transparent = least < (image->BandFmt == VIPS_FORMAT_USHORT ? 65535.0 : 255.0);
    if (!took(vips_flatten(image.get(), &step, "background", colour.get(), nullptr))) return Fail(report, kBrambleCodecFailed);
  }
  if (!took(vips_cast(image.get(), &step, VIPS_FORMAT_UCHAR, nullptr)) ||
      !took(vips_embed(image.get(), &step, (kWidth - image->Xsize) / 2, (kHeight - image->Ysize) / 2, kWidth, kHeight,
                       "extend", VIPS_EXTEND_BACKGROUND, "background", colour.get(), nullptr))) {
    return Fail(report, kBrambleCodecFailed);
  }
  if (image->Bands != 3) return Fail(report, kBrambleCodecDamaged, "not a colour or grey picture");
  std::size_t size = 0;
  const std::unique_ptr<void, decltype(&g_free)> pixels(vips_image_write_to_memory(image.get(), &size), &g_free);
  if (!pixels || size != std::size_t{kWidth} * kHeight * 3) return Fail(report, kBrambleCodecFailed);
  std::memcpy(rgb, pixels.get(), size);
  return kBrambleCodecOk;
}

// From the file: the header first, to refuse a size before any pixel is decoded.
int ThumbnailOfFile(int fd, VipsSize size, VipsInteresting crop, VipsImage** fitted, BrambleCodecReport* report) {
  std::byte head[kPictureSniffBytes] = {};
  const ssize_t got = ::pread(fd, head, sizeof head, 0);
  const PictureFormat format = SniffPictureFormat(std::span(head, static_cast<std::size_t>(std::max<ssize_t>(got, 0))));
  if (!Reads(format)) {
    std::string formats = "JPEG, PNG, GIF, WebP, TIFF";
    for (const auto other : {PictureFormat::kHeic, PictureFormat::kAvif, PictureFormat::kSvg, PictureFormat::kPdf}) {
      if (Reads(other)) formats += ", " + std::string(FormatName(other));
    }
    return Fail(report, kBrambleCodecNotPicture, formats);
  }
  const std::unique_ptr<VipsSource, Unref> source(vips_source_new_from_descriptor(fd));
  if (!source) return Fail(report, kBrambleCodecFailed);
  // A file that starts as a format we read but that no loader takes is damaged.
  if (!vips_foreign_find_load_source(source.get())) {
    vips_error_clear();
    TakeWarning();
    return Fail(report, kBrambleCodecDamaged, "no " + std::string(FormatName(format)) + " picture can be decoded from it");
  }
  const Image header(vips_image_new_from_source(source.get(), "", "fail_on", VIPS_FAIL_ON_WARNING, nullptr));
  if (!header) return Fail(report, kBrambleCodecDamaged);
  const bool swap = vips_image_get_orientation_swap(header.get());
  report->width = swap ? header->Ysize : header->Xsize;
  report->height = swap ? header->Xsize : header->Ysize;
  // A drawing is rendered at the logo's size, whatever size it says it has.
  const bool drawing = format == PictureFormat::kSvg || format == PictureFormat::kPdf;
  if (!drawing && std::int64_t{header->Xsize} * header->Ysize > kBrambleCodecMaxPixels) {
    return Fail(report, kBrambleCodecTooLarge, "too large");
  }
  // An untagged picture is sRGB already and gets no profile: with an export
  // profile alone, thumbnail would shift its colours. The loader's own options go
  // in its option string: thumbnail's fail_on does not reach it; poppler would
  // paint a page's empty parts white, where an SVG's are transparent.
  const bool tagged = vips_image_get_typeof(header.get(), VIPS_META_ICC_NAME) != 0;
  if (vips_thumbnail_source(source.get(), fitted, kWidth, "height", kHeight, "size", size, "crop", crop,
                            "export_profile", tagged ? "srgb" : nullptr, "option_string",
                            format == PictureFormat::kPdf ? "fail_on=warning,background=0 0 0 0" : "fail_on=warning",
                            nullptr) != 0) {
    return Fail(report, kBrambleCodecDamaged);
  }
  return kBrambleCodecOk;
}

int Fit(int fd, const unsigned char* pixels, int width, int height, int fit, std::uint32_t background, unsigned char* rgb,
        BrambleCodecReport* report) {
  *report = {};
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  TakeWarning();
  const VipsSize size = fit == 0 ? VIPS_SIZE_FORCE : VIPS_SIZE_BOTH;
  const VipsInteresting crop = fit == 2 ? VIPS_INTERESTING_CENTRE : VIPS_INTERESTING_NONE;
  VipsImage* fitted = nullptr;
  int status = kBrambleCodecOk;
  if (fd >= 0) {
    status = ThumbnailOfFile(fd, size, crop, &fitted, report);
  } else {  // a bitmap the tool decoded
    report->width = width;
    report->height = height;
    const Image picture = FromRgb(pixels, width, height);
    if (!picture || vips_thumbnail_image(picture.get(), &fitted, kWidth, "height", kHeight, "size", size, "crop", crop,
                                         nullptr) != 0) {
      status = Fail(report, kBrambleCodecFailed);
    }
  }
  Image owned(fitted);
  if (status == kBrambleCodecOk) status = Finish(fitted, background, rgb, report);
  owned.reset();  // the loader lets the file go, and says what it found
  const std::string warning = TakeWarning();
  if (status == kBrambleCodecOk && warning.starts_with(kJpegWarning)) {
    return Fail(report, kBrambleCodecDamaged, warning.substr(kJpegWarning.size()));
  }
  return status;
}

// glib's allocator is malloc's (since glib 2.46), so the caller frees with free().
int EncodePng(const unsigned char* rgb, void** bytes, std::size_t* size, BrambleCodecReport* report) {
  *report = {};
  *bytes = nullptr;
  if (!Started()) return Fail(report, kBrambleCodecFailed, "libvips did not start");
  const Image picture = FromRgb(rgb, kWidth, kHeight);
  return picture && vips_pngsave_buffer(picture.get(), bytes, size, nullptr) == 0 ? kBrambleCodecOk
                                                                                  : Fail(report, kBrambleCodecFailed);
}

constexpr BrambleCodec kCodec = {kBrambleCodecVersion, Fit, EncodePng};

}  // namespace
}  // namespace logo_tool

extern "C" __attribute__((visibility("default"))) const BrambleCodec* bramble_logo_codec() { return &logo_tool::kCodec; }
