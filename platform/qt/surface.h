#pragma once
// Between the dialog's Qt window and the drawing calls: a window's device context
// draws on the window's own surface image.

#include <QImage>

#include "platform/gdi.h"

namespace platform {

HDC CreateWindowDC(QImage& surface);
void ReleaseWindowDC(HDC dc);

}  // namespace platform
