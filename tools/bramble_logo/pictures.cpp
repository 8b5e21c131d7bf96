// The tool's pictures: any picture fitted to the logo, the logo as a 24-bit
// bitmap, and a logo.bin back as a picture.

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include "logo/image_format.h"
#include "platform/api/little_endian.h"
#include "tools/bramble_logo/commands.h"
#include "tools/bramble_logo/logo_tool.h"

namespace logo_tool {
namespace {

// The 54-byte header of a plain Windows bitmap: the file header and a 40-byte
// info header, no colour table.
constexpr std::size_t kBitmapFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::size_t kPixelDataOffset = kBitmapFileHeaderBytes + kInfoHeaderBytes;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

const QSize kLogoSize(logo::kLogoWidth, logo::kLogoHeight);

}  // namespace

QImage FitToLogo(const QImage& picture, Fit fit) {
  // Scaling in premultiplied form keeps transparent pixels' colours from bleeding
  // into their neighbours; drawing onto black then settles the transparency.
  const QImage source = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                          : QImage::Format_RGB32);
  const Qt::AspectRatioMode aspect = fit == Fit::kStretch ? Qt::IgnoreAspectRatio
                                     : fit == Fit::kFit   ? Qt::KeepAspectRatio
                                                          : Qt::KeepAspectRatioByExpanding;
  const QImage scaled = source.scaled(kLogoSize, aspect, Qt::SmoothTransformation);

  QImage logo(kLogoSize, QImage::Format_RGB32);
  logo.fill(Qt::black);
  QPainter painter(&logo);
  // Centred either way: fit leaves bars on two sides, fill cuts off two sides.
  painter.drawImage(QPoint((logo.width() - scaled.width()) / 2, (logo.height() - scaled.height()) / 2), scaled);
  painter.end();
  return logo;
}

std::vector<std::byte> EncodeLogoBitmap(const QImage& logo) {
  if (logo.size() != kLogoSize) return {};
  const QImage pixels = logo.convertToFormat(QImage::Format_RGB32);
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
  for (int y = logo::kLogoHeight - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int x = 0; x < logo::kLogoWidth; ++x) {
      *out++ = static_cast<std::byte>(qBlue(row[x]));
      *out++ = static_cast<std::byte>(qGreen(row[x]));
      *out++ = static_cast<std::byte>(qRed(row[x]));
    }
  }
  return file;
}

QImage LogoImageToPicture(std::span<const std::byte> logoBin) {
  if (logoBin.size() != logo::kLogoFileBytes) return {};
  QImage picture(kLogoSize, QImage::Format_RGB32);
  const auto channel = [](std::byte value) { return std::to_integer<int>(value); };
  for (int y = 0; y < logo::kLogoHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const std::byte* in = logoBin.data() + static_cast<std::size_t>(y) * logo::kLogoRowBytes;
    for (int x = 0; x < logo::kLogoWidth; ++x, in += logo::kLogoPixelBytes) {
      row[x] = qRgb(channel(in[2]), channel(in[1]), channel(in[0]));
    }
  }
  return picture;
}

std::vector<std::byte> EncodePng(const QImage& picture) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(picture)) return {};
  const auto* data = reinterpret_cast<const std::byte*>(bytes.constData());
  return std::vector<std::byte>(data, data + bytes.size());
}

}  // namespace logo_tool
