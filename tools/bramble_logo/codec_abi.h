#pragma once
// The contract between bramble-logo and its picture codec, a module that it loads
// only for the commands that read or write pictures: libvips comes with glib and
// about a hundred libraries, whose loading alone would triple the start of every
// other command. Plain C types only, so that nothing but this table crosses over;
// any change to it changes kBrambleCodecVersion.

#include <cstddef>
#include <cstdint>

extern "C" {

inline constexpr std::uint32_t kBrambleCodecVersion = 2;
inline constexpr char kBrambleCodecEntry[] = "bramble_logo_codec";

enum BrambleCodecStatus : int {
  kBrambleCodecOk = 0,
  kBrambleCodecNotPicture = 1,  // no format the codec reads (readable_formats says which it does)
  kBrambleCodecDamaged = 2,     // a known format whose decoder found a fault
  kBrambleCodecTooLarge = 3,    // more pixels than any photo has
  kBrambleCodecFailed = 4,      // the codec itself failed (start, memory)
};

enum BrambleCodecFit : int { kBrambleFitStretch = 0, kBrambleFitFit = 1, kBrambleFitFill = 2 };

struct BrambleCodecReport {
  int width;         // the picture as shown upright, before fitting
  int height;
  int transparent;   // non-zero: parts of it were not opaque
  char reason[256];  // the decoder's own words, for every status but kBrambleCodecOk
};

struct BrambleCodec {
  std::uint32_t version;
  std::int64_t maxPixels;  // the largest picture fit_file takes

  // The formats fit_file reads, as "JPEG, PNG, ...": what this libvips reads of
  // those the tool takes.
  const char* (*readable_formats)();
  // Reads the picture in the regular file open at `fd` (the codec reads from its
  // start and leaves it open) and fits it to `width` x `height` opaque pixels:
  // 3 bytes a pixel (red, green, blue), top row first, into `rgb`. `background`
  // (0xRRGGBB) fills the bars of kBrambleFitFit and shows where it is transparent.
  int (*fit_file)(int fd, int fit, std::uint32_t background, int width, int height, unsigned char* rgb,
                  BrambleCodecReport* report);
  // The same for pixels decoded already: 4 bytes a pixel (blue, green, red, unused),
  // top row first.
  int (*fit_pixels)(const unsigned char* bgrx, int pictureWidth, int pictureHeight, int fit, std::uint32_t background,
                    int width, int height, unsigned char* rgb, BrambleCodecReport* report);
  // A PNG file of `rgb` (as above), in a buffer that free_bytes releases.
  int (*encode_png)(const unsigned char* rgb, int width, int height, void** bytes, std::size_t* size,
                    BrambleCodecReport* report);
  void (*free_bytes)(void* bytes);
};

// The module's one exported symbol, named by kBrambleCodecEntry.
const BrambleCodec* bramble_logo_codec();

}  // extern "C"
