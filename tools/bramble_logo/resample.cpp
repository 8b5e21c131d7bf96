#include "tools/bramble_logo/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "logo/image_format.h"

namespace logo_tool {
namespace {

constexpr int kWidth = logo::kLogoWidth, kHeight = logo::kLogoHeight;
constexpr int kChannels = 4;

}  // namespace

// vips' thumbnailer: one shrink for both axes, the larger (fit) or smaller (fill)
// of the two; stretching scales each to the logo.
Placement PlaceOnLogo(int width, int height, int fit) {
  Placement place{kWidth, kHeight, 0, 0, kWidth, kHeight, 0, 0};
  if (fit == 0) return place;
  const double across = double(width) / kWidth, down = double(height) / kHeight;
  const double shrink = fit == 1 ? std::max(across, down) : std::min(across, down);
  place.scaledWidth = std::max(1, static_cast<int>(std::lround(width / shrink)));
  place.scaledHeight = std::max(1, static_cast<int>(std::lround(height / shrink)));
  // Rounding may leave the side that should match the logo's a pixel off it.
  if (fit == 1) {
    place.scaledWidth = std::min(place.scaledWidth, kWidth);
    place.scaledHeight = std::min(place.scaledHeight, kHeight);
  } else {
    place.scaledWidth = std::max(place.scaledWidth, kWidth);
    place.scaledHeight = std::max(place.scaledHeight, kHeight);
  }
  place.width = std::min(place.scaledWidth, kWidth);
  place.height = std::min(place.scaledHeight, kHeight);
  place.cropX = (place.scaledWidth - place.width) / 2;
  place.cropY = (place.scaledHeight - place.height) / 2;
  place.left = (kWidth - place.width) / 2;
  place.top = (kHeight - place.height) / 2;
  return place;
}

namespace {

// For each of `count` samples from `first` of a line scaled from `source` to
// `scaled`: the source pixels it takes and how much of each. `interpolate` for a
// line that grows, and for one that keeps its size in a picture that grows the
// other way: vips' enlarging pass (an affine transform) moves both axes.
struct Filter {
  std::vector<std::size_t> begin;  // into index and weight, one more than samples
  std::vector<int> index;
  std::vector<float> weight;
};

Filter MakeFilter(int source, int scaled, int first, int count, bool interpolate) {
  Filter filter;
  const double ratio = double(source) / scaled;
  for (int j = first; j < first + count; ++j) {
    filter.begin.push_back(filter.index.size());
    if (!interpolate) {
      // The pixels under the sample's area, each by the part of it that it covers.
      const double from = j * ratio, to = from + ratio;
      for (int k = static_cast<int>(from); k < source && k < to; ++k) {
        const double covered = std::min(to, k + 1.0) - std::max(from, double(k));
        if (covered <= 0) continue;
        filter.index.push_back(k);
        filter.weight.push_back(static_cast<float>(covered / ratio));
      }
      continue;
    }
    // Catmull-Rom through the four nearest pixels, where vips' affine transform
    // samples (half a pixel up and left of the centres); the edge pixels stand
    // for those beyond.
    const double x = j * ratio - 0.5;
    const double base = std::floor(x), t = x - base;
    const std::array<double, 4> weights = {(-t * t * t + 2 * t * t - t) / 2, (3 * t * t * t - 5 * t * t + 2) / 2,
                                           (-3 * t * t * t + 4 * t * t + t) / 2, (t * t * t - t * t) / 2};
    for (int k = 0; k < 4; ++k) {
      filter.index.push_back(std::clamp(static_cast<int>(base) - 1 + k, 0, source - 1));
      filter.weight.push_back(static_cast<float>(weights[k]));
    }
  }
  filter.begin.push_back(filter.index.size());
  return filter;
}

// The stored pixels walked upright: the first upright pixel, and the steps in bytes
// to the next one across and down.
struct Walk {
  const unsigned char* origin;
  std::ptrdiff_t across, down;
};

Walk Upright(const RgbaView& stored, int orientation) {
  const auto stride = static_cast<std::ptrdiff_t>(stored.stride);
  const auto at = [&](int x, int y) { return stored.pixels + y * stride + std::ptrdiff_t{x} * kChannels; };
  const int right = stored.width - 1, bottom = stored.height - 1;
  switch (orientation) {
    case 2: return {at(right, 0), -kChannels, stride};
    case 3: return {at(right, bottom), -kChannels, -stride};
    case 4: return {at(0, bottom), kChannels, -stride};
    case 5: return {at(0, 0), stride, kChannels};
    case 6: return {at(0, bottom), -stride, kChannels};
    case 7: return {at(right, bottom), -stride, -kChannels};
    case 8: return {at(right, 0), stride, -kChannels};
    default: return {at(0, 0), kChannels, stride};
  }
}

unsigned char ToByte(float value) { return static_cast<unsigned char>(std::clamp(std::lround(value), 0L, 255L)); }

// The picture scaled as it is stored.
std::vector<unsigned char> Scale(const RgbaView& stored, const Placement& place) {
  const int width = stored.width, height = stored.height;
  const Walk walk = Upright(stored, kUpright);
  const bool grows = place.scaledWidth > width || place.scaledHeight > height;
  const Filter across = MakeFilter(width, place.scaledWidth, place.cropX, place.width,
                                   place.scaledWidth > width || (grows && place.scaledWidth == width));
  const Filter down = MakeFilter(height, place.scaledHeight, place.cropY, place.height,
                                 place.scaledHeight > height || (grows && place.scaledHeight == height));
  const auto [low, high] = std::ranges::minmax(down.index);
  const auto columns = static_cast<std::size_t>(place.width);

  // Across first, premultiplied, for the rows that the samples down take.
  std::vector<float> rows(static_cast<std::size_t>(high - low + 1) * columns * kChannels);
  for (int y = low; y <= high; ++y) {
    const unsigned char* row = walk.origin + y * walk.down;
    float* out = &rows[static_cast<std::size_t>(y - low) * columns * kChannels];
    for (std::size_t x = 0; x < columns; ++x, out += kChannels) {
      for (std::size_t tap = across.begin[x]; tap < across.begin[x + 1]; ++tap) {
        const unsigned char* pixel = row + across.index[tap] * walk.across;
        const float weight = across.weight[tap], alpha = weight * pixel[3];
        for (int c = 0; c < 3; ++c) out[c] += alpha * pixel[c];
        out[3] += alpha;
      }
    }
  }
  std::vector<unsigned char> rgba(columns * static_cast<std::size_t>(place.height) * kChannels);
  unsigned char* out = rgba.data();
  for (std::size_t y = 0; y < static_cast<std::size_t>(place.height); ++y) {
    for (std::size_t x = 0; x < columns; ++x, out += kChannels) {
      float sum[kChannels] = {};
      for (std::size_t tap = down.begin[y]; tap < down.begin[y + 1]; ++tap) {
        const float* pixel = &rows[(static_cast<std::size_t>(down.index[tap] - low) * columns + x) * kChannels];
        for (int c = 0; c < kChannels; ++c) sum[c] += down.weight[tap] * pixel[c];
      }
      if (sum[3] <= 0) continue;  // nothing shows: black, transparent
      for (int c = 0; c < 3; ++c) out[c] = ToByte(sum[c] / sum[3]);
      out[3] = ToByte(sum[3]);
    }
  }
  return rgba;
}

}  // namespace

// vips scales the stored pixels, then turns them upright: so do we, as samples
// taken off-centre to enlarge fall on the other side of a pixel in a turned
// picture. The shown part is mapped to the stored pixels by its corners.
std::vector<unsigned char> Resample(const RgbaView& stored, int orientation, const Placement& place) {
  const bool swap = SwapsAxes(orientation);
  Placement inStore = place;
  if (swap) {
    std::swap(inStore.scaledWidth, inStore.scaledHeight);
    std::swap(inStore.width, inStore.height);
  }
  const int right = inStore.scaledWidth - 1, bottom = inStore.scaledHeight - 1;
  const auto toStored = [&](int u, int v) -> std::pair<int, int> {
    switch (orientation) {
      case 2: return {right - u, v};
      case 3: return {right - u, bottom - v};
      case 4: return {u, bottom - v};
      case 5: return {v, u};
      case 6: return {v, bottom - u};
      case 7: return {right - v, bottom - u};
      case 8: return {right - v, u};
      default: return {u, v};
    }
  };
  const auto [x0, y0] = toStored(place.cropX, place.cropY);
  const auto [x1, y1] = toStored(place.cropX + place.width - 1, place.cropY + place.height - 1);
  inStore.cropX = std::min(x0, x1);
  inStore.cropY = std::min(y0, y1);
  std::vector<unsigned char> scaled = Scale(stored, inStore);
  if (orientation == kUpright) return scaled;
  const Walk walk = Upright({scaled.data(), inStore.width, inStore.height, std::size_t(inStore.width) * kChannels}, orientation);
  std::vector<unsigned char> upright(scaled.size());
  unsigned char* out = upright.data();
  for (int v = 0; v < place.height; ++v) {
    for (int u = 0; u < place.width; ++u, out += kChannels) std::copy_n(walk.origin + v * walk.down + u * walk.across, kChannels, out);
  }
  return upright;
}

bool Compose(std::span<const unsigned char> rgba, const Placement& place, std::uint32_t background,
             unsigned char* logoRgb) {
  const unsigned fill[3] = {background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF};
  for (std::size_t at = 0; at < std::size_t{kWidth} * kHeight * 3; at += 3) std::copy(fill, fill + 3, logoRgb + at);
  bool transparent = false;
  const unsigned char* in = rgba.data();
  for (int y = 0; y < place.height; ++y) {
    unsigned char* out = logoRgb + (std::size_t(place.top + y) * kWidth + std::size_t(place.left)) * 3;
    for (int x = 0; x < place.width; ++x, in += kChannels, out += 3) {
      const unsigned alpha = in[3];
      transparent |= alpha < 255;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<unsigned char>((in[c] * alpha + fill[c] * (255 - alpha) + 127) / 255);
    }
  }
  return transparent;
}

}  // namespace logo_tool
