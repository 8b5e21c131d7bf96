#include "platform/qt/icons.h"

#include <QImage>
#include <QPixmap>

#include <cstring>

namespace platform {

QIcon ToQIcon(HICON icon) {
  QIcon result;
  if (!icon) return result;
  for (const IconImage& image : icon->images) {
    QImage picture(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
      std::memcpy(picture.scanLine(y), image.pixels.data() + static_cast<std::size_t>(y) * image.width,
                  static_cast<std::size_t>(image.width) * 4);
    }
    result.addPixmap(QPixmap::fromImage(picture));
  }
  return result;
}

}  // namespace platform
