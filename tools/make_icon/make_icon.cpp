// Draws the application's emblem (a bramble sprig on a rounded square) and writes
// it as icon group 128: 48, 32 and 16 pixels at 4, 8 and 24 bits per pixel, in
// that order. Usage: bramble-make-icon OUTPUT.ico
//
// The output is committed as app/bramble.ico; run this again only to change the
// picture.

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/formats/bitmap_format.h"
#include "platform/formats/little_endian.h"

namespace {

constexpr std::array<int, 3> kSides = {48, 32, 16};
constexpr std::array<std::uint16_t, 3> kBitCounts = {4, 8, 24};
constexpr double kDesignSide = 48.0;  // the emblem is drawn in these units
constexpr int kOpaqueAlpha = 128;     // below it a pixel goes to the transparency mask

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;

QPainterPath Leaf(QPointF base, QPointF tip, double width) {
  const QPointF middle = (base + tip) / 2;
  const QPointF along = tip - base;
  const QPointF across(-along.y() * width, along.x() * width);
  QPainterPath path(base);
  path.quadTo(middle + across, tip);
  path.quadTo(middle - across, base);
  return path;
}

// The emblem's own colours. They open every palette, so that quantising never
// moves the flat areas and the outlines.
const QColor kFrame(0x2F, 0x5D, 0x2A);
const QColor kSkyTop(0xF4, 0xF1, 0xD8);
const QColor kSkyBottom(0xD4, 0xE6, 0xB5);
const QColor kStem(0x6B, 0x4A, 0x2B);
const QColor kLeafEdge(0x24, 0x5E, 0x22);
const QColor kLeaf(0x4C, 0xA0, 0x3A);
const QColor kYoungLeaf(0x7C, 0xC2, 0x4E);
const QColor kBerryEdge(0x2A, 0x0E, 0x33);
const QColor kBerry(0x5A, 0x1F, 0x6E);
const QColor kBerryShine(0xB0, 0x7C, 0xC8);
const std::array<QColor, 10> kDesignColours = {kFrame, kSkyTop,    kSkyBottom, kStem,  kLeafEdge,
                                               kLeaf,  kYoungLeaf, kBerryEdge, kBerry, kBerryShine};

QImage DrawEmblem(int side) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / kDesignSide, side / kDesignSide);

  QLinearGradient sky(0, 2, 0, 46);
  sky.setColorAt(0, kSkyTop);
  sky.setColorAt(1, kSkyBottom);
  painter.setPen(QPen(kFrame, 2.5));
  painter.setBrush(sky);
  painter.drawRoundedRect(QRectF(2, 2, 44, 44), 9, 9);

  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kStem, 2.6, Qt::SolidLine, Qt::RoundCap));
  QPainterPath stem(QPointF(9, 40));
  stem.cubicTo(QPointF(14, 28), QPointF(22, 18), QPointF(38, 9));
  painter.drawPath(stem);
  painter.setPen(QPen(kStem, 1.8, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(21, 21), QPointF(31, 29));

  painter.setPen(QPen(kLeafEdge, 1.0));
  painter.setBrush(kLeaf);
  painter.drawPath(Leaf(QPointF(16, 28), QPointF(5, 16), 0.32));
  painter.drawPath(Leaf(QPointF(27, 17), QPointF(25, 4), 0.32));
  painter.setBrush(kYoungLeaf);
  painter.drawPath(Leaf(QPointF(33, 12), QPointF(43, 19), 0.3));

  const std::array<QPointF, 7> drupelets = {QPointF(30, 30), QPointF(36, 30), QPointF(27, 35), QPointF(33, 35),
                                            QPointF(39, 35), QPointF(30, 40), QPointF(36, 40)};
  painter.setPen(QPen(kBerryEdge, 0.8));
  painter.setBrush(kBerry);
  for (const QPointF& centre : drupelets) painter.drawEllipse(centre, 3.4, 3.4);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBerryShine);
  for (const QPointF& centre : drupelets) painter.drawEllipse(centre + QPointF(-1.1, -1.1), 1.0, 1.0);
  return image;
}

bool IsOpaque(QRgb pixel) { return qAlpha(pixel) >= kOpaqueAlpha; }

int Channel(QRgb colour, int channel) {
  return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

// Median cut: split the box of colours with the widest channel at its median
// until there are `count` boxes; each box gives its mean colour.
std::vector<QRgb> MedianCut(std::vector<QRgb> colours, std::size_t count) {
  using Box = std::pair<std::size_t, std::size_t>;  // [first, last) into colours
  std::vector<Box> boxes = {{0, colours.size()}};
  auto widest = [&](const Box& box) {
    std::array<int, 3> low = {255, 255, 255}, high = {0, 0, 0};
    for (std::size_t i = box.first; i < box.second; ++i) {
      for (int c = 0; c < 3; ++c) {
        low[c] = std::min(low[c], Channel(colours[i], c));
        high[c] = std::max(high[c], Channel(colours[i], c));
      }
    }
    int channel = 0;
    for (int c = 1; c < 3; ++c) {
      if (high[c] - low[c] > high[channel] - low[channel]) channel = c;
    }
    return std::pair(channel, high[channel] - low[channel]);
  };
  while (boxes.size() < count) {
    auto best = boxes.end();
    int bestRange = 0;
    for (auto box = boxes.begin(); box != boxes.end(); ++box) {
      const int range = widest(*box).second;
      if (range > bestRange) {
        bestRange = range;
        best = box;
      }
    }
    if (best == boxes.end()) break;  // every box holds one colour
    const auto [first, last] = *best;
    const int channel = widest(*best).first;
    std::sort(colours.begin() + static_cast<std::ptrdiff_t>(first), colours.begin() + static_cast<std::ptrdiff_t>(last),
              [channel](QRgb a, QRgb b) { return Channel(a, channel) < Channel(b, channel); });
    const std::size_t middle = first + (last - first) / 2;
    *best = {first, middle};
    boxes.push_back({middle, last});
  }
  std::vector<QRgb> palette;
  for (const auto& [first, last] : boxes) {
    std::array<long, 3> sum = {0, 0, 0};
    for (std::size_t i = first; i < last; ++i) {
      for (int c = 0; c < 3; ++c) sum[c] += Channel(colours[i], c);
    }
    const long n = static_cast<long>(last - first);
    if (n == 0) continue;
    palette.push_back(qRgb(static_cast<int>((sum[0] + n / 2) / n), static_cast<int>((sum[1] + n / 2) / n),
                           static_cast<int>((sum[2] + n / 2) / n)));
  }
  return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb colour) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    int distance = 0;
    for (int c = 0; c < 3; ++c) {
      const int d = Channel(palette[i], c) - Channel(colour, c);
      distance += d * d;
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
    }
  }
  return best;
}

void PutByte(std::vector<std::byte>& out, std::size_t at, int value) { out[at] = static_cast<std::byte>(value); }

std::size_t Stride(int width, int bitCount) { return static_cast<std::size_t>((width * bitCount + 31) / 32 * 4); }

// One icon image: info header with the doubled height, colour table, colour
// rows and mask rows, both bottom-up. Transparent pixels are black in the colour
// rows, so that drawing through the mask leaves the background as it was.
std::vector<std::byte> EncodeImage(const QImage& picture, std::uint16_t bitCount) {
  const int side = picture.width();
  const std::size_t paletteEntries = bitCount <= 8 ? std::size_t{1} << bitCount : 0;
  std::vector<QRgb> palette;
  if (paletteEntries > 0) {
    std::vector<QRgb> opaque;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        if (IsOpaque(picture.pixel(x, y))) opaque.push_back(picture.pixel(x, y));
      }
    }
    palette = {qRgb(0, 0, 0)};
    for (const QColor& colour : kDesignColours) palette.push_back(colour.rgb());
    const auto cut = MedianCut(opaque, paletteEntries - palette.size());
    palette.insert(palette.end(), cut.begin(), cut.end());
  }

  const std::size_t colourStride = Stride(side, bitCount);
  const std::size_t maskStride = Stride(side, 1);
  // An icon image is an information header without the file header before it.
  const std::size_t rowsAt = bmp::kInfoSize + paletteEntries * 4;
  const std::size_t maskAt = rowsAt + colourStride * static_cast<std::size_t>(side);
  std::vector<std::byte> out(maskAt + maskStride * static_cast<std::size_t>(side));

  platform::PutU32(&out[bmp::kInfoSizeField], bmp::kInfoSize);
  platform::PutU32(&out[bmp::kWidthField], static_cast<std::uint32_t>(side));
  platform::PutU32(&out[bmp::kHeightField], static_cast<std::uint32_t>(side * 2));  // colours, then the mask
  platform::PutU16(&out[bmp::kPlanesField], 1);
  platform::PutU16(&out[bmp::kBitCountField], bitCount);
  platform::PutU32(&out[bmp::kImageSizeField], static_cast<std::uint32_t>(out.size() - rowsAt));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    PutByte(out, bmp::kInfoSize + i * 4, qBlue(palette[i]));
    PutByte(out, bmp::kInfoSize + i * 4 + 1, qGreen(palette[i]));
    PutByte(out, bmp::kInfoSize + i * 4 + 2, qRed(palette[i]));
  }

  for (int y = 0; y < side; ++y) {
    const std::size_t stored = static_cast<std::size_t>(side - 1 - y);
    for (int x = 0; x < side; ++x) {
      const QRgb pixel = picture.pixel(x, y);
      const bool opaque = IsOpaque(pixel);
      const std::size_t row = rowsAt + stored * colourStride;
      if (bitCount == 24) {
        PutByte(out, row + static_cast<std::size_t>(x) * 3, opaque ? qBlue(pixel) : 0);
        PutByte(out, row + static_cast<std::size_t>(x) * 3 + 1, opaque ? qGreen(pixel) : 0);
        PutByte(out, row + static_cast<std::size_t>(x) * 3 + 2, opaque ? qRed(pixel) : 0);
      } else {
        const int index = opaque ? Nearest(palette, pixel) : 0;
        const int perByte = 8 / bitCount;
        const std::size_t at = row + static_cast<std::size_t>(x / perByte);
        const int shift = 8 - bitCount * (x % perByte + 1);
        PutByte(out, at, std::to_integer<int>(out[at]) | (index << shift));
      }
      if (!opaque) {
        const std::size_t at = maskAt + stored * maskStride + static_cast<std::size_t>(x / 8);
        PutByte(out, at, std::to_integer<int>(out[at]) | (0x80 >> (x % 8)));
      }
    }
  }
  return out;
}

// Every image reads back through the reader the program's icons go through.
bool ReadsBack(const std::vector<std::byte>& file, std::size_t images) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "ico");
  if (reader.imageCount() != static_cast<int>(images)) return false;
  for (std::size_t i = 0; i < images; ++i) {
    if (!reader.jumpToImage(static_cast<int>(i)) || reader.read().isNull()) return false;
  }
  return true;
}

std::vector<std::byte> EncodeIcon() {
  std::vector<std::vector<std::byte>> images;
  std::vector<std::pair<int, std::uint16_t>> shapes;
  for (const std::uint16_t bitCount : kBitCounts) {
    for (const int side : kSides) {
      images.push_back(EncodeImage(DrawEmblem(side), bitCount));
      shapes.emplace_back(side, bitCount);
    }
  }
  std::vector<std::byte> file(kDirectorySize + kEntrySize * images.size());
  platform::PutU16(&file[2], 1);  // an icon, not a cursor
  platform::PutU16(&file[4], static_cast<std::uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto [side, bitCount] = shapes[i];
    const std::size_t entry = kDirectorySize + i * kEntrySize;
    PutByte(file, entry, side);
    PutByte(file, entry + 1, side);
    PutByte(file, entry + 2, bitCount < 8 ? 1 << bitCount : 0);
    platform::PutU16(&file[entry + 4], 1);
    platform::PutU16(&file[entry + 6], bitCount);
    platform::PutU32(&file[entry + 8], static_cast<std::uint32_t>(images[i].size()));
    platform::PutU32(&file[entry + 12], static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), images[i].begin(), images[i].end());
  }
  return ReadsBack(file, images.size()) ? file : std::vector<std::byte>();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    std::printf("usage: %s OUTPUT.ico\n", argv[0]);
    return 0;
  }
  // An option is never taken for the name of the file to write.
  if (argc != 2 || first.starts_with("-")) {
    std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }
  const auto icon = EncodeIcon();
  if (icon.empty()) {
    std::fprintf(stderr, "the icon written does not read back\n");
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
