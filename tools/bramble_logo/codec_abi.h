#pragma once
// The contract between bramble-logo and its picture codec, a module that it loads
// only for the commands that read or write pictures: libvips comes with glib and
// about a hundred libraries, whose loading alone would triple the start of every
// other command. Plain C types only; any change here changes kBrambleCodecVersion.
// Pictures are always the logo's size, 3 bytes a pixel (red, green, blue), top row
// first.

#include <cstddef>
#include <cstdint>

extern "C" {

inline constexpr std::uint32_t kBrambleCodecVersion = 3;
inline constexpr char kBrambleCodecEntry[] = "bramble_logo_codec";
// Far beyond any camera: only a picture made to exhaust the machine is larger.
inline constexpr std::int64_t kBrambleCodecMaxPixels = 1'000'000'000;

enum BrambleCodecStatus : int {
  kBrambleCodecOk = 0,
  kBrambleCodecNotPicture = 1,  // no format this build reads; the reason lists those it does
  kBrambleCodecDamaged = 2,     // the decoder found a fault; the reason is its own words
  kBrambleCodecTooLarge = 3,    // over kBrambleCodecMaxPixels
  kBrambleCodecFailed = 4,      // the codec itself failed (start, memory)
};

struct BrambleCodecReport {
  int width;  // the picture as shown upright, before fitting
  int height;
  int transparent;  // non-zero: parts of it were not opaque
  char reason[256];
};

struct BrambleCodec {
  std::uint32_t version;
  // Fits the picture in the regular file open at `fd` (read from its start, left
  // open) or, for a negative `fd`, the `width` x `height` `pixels` laid out as
  // the logo's, to the logo: `fit` 0 stretches, 1 fits inside with bars of
  // `background` (0xRRGGBB), 2 fills and cuts off what sticks out; `background`
  // also shows where the picture is transparent.
  int (*fit)(int fd, const unsigned char* pixels, int width, int height, int fit, std::uint32_t background,
             unsigned char* rgb, BrambleCodecReport* report);
  // A PNG file of the logo's `rgb`, in a buffer of malloc's that the caller frees.
  int (*encode_png)(const unsigned char* rgb, void** bytes, std::size_t* size, BrambleCodecReport* report);
};

// The module's one exported symbol, named by kBrambleCodecEntry.
const BrambleCodec* bramble_logo_codec();

}  // extern "C"
