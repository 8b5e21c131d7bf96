// The drawing calls over Qt's images: a bitmap is a QImage, a device context
// draws into the image it has selected, or into a window's surface.

#include "platform/gdi.h"

#include <QImage>
#include <QPainter>

#include <cstring>
#include <memory>

#include "platform/bmp_decoder.h"
#include "platform/qt/surface.h"
#include "platform/terminal.h"

struct GdiObject {
  QImage image;
  BITMAP record{};
  bool stock = false;
};

struct DeviceContext {
  QImage* surface = nullptr;       // what drawing lands on
  GdiObject* selected = nullptr;   // memory contexts: the selected bitmap
  std::unique_ptr<CDC> temporary;  // the framework object FromHandle made for it
  bool window = false;
};

namespace platform {
namespace {

GdiCounts g_live;

// A memory context starts with a one-pixel bitmap selected, as on the platform.
GdiObject& StockBitmap() {
  static GdiObject stock = [] {
    GdiObject object;
    object.image = QImage(1, 1, QImage::Format_RGB32);
    object.image.fill(Qt::black);
    object.record.bmWidth = 1;
    object.record.bmHeight = 1;
    object.record.bmPlanes = 1;
    object.record.bmBitsPixel = 1;
    object.record.bmWidthBytes = 2;
    object.stock = true;
    return object;
  }();
  return stock;
}

// A CDC that FromHandle hands out: it wraps the handle without owning it.
class TemporaryDC : public CDC {
 public:
  explicit TemporaryDC(HDC dc) { m_hDC = dc; }
  ~TemporaryDC() override { m_hDC = nullptr; }
};

}  // namespace

GdiCounts LiveGdiObjects() { return g_live; }

HDC CreateWindowDC(QImage& surface) {
  auto* dc = new DeviceContext;
  dc->surface = &surface;
  dc->window = true;
  ++g_live.deviceContexts;
  return dc;
}

void ReleaseWindowDC(HDC dc) {
  if (!dc) return;
  --g_live.deviceContexts;
  delete dc;
}

}  // namespace platform

HDC CreateCompatibleDC(HDC) {
  auto* dc = new DeviceContext;
  dc->selected = &platform::StockBitmap();
  dc->surface = &dc->selected->image;
  ++platform::g_live.deviceContexts;
  return dc;
}

BOOL DeleteDC(HDC dc) {
  if (!dc || dc->window) return FALSE;
  --platform::g_live.deviceContexts;
  delete dc;
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!dc || !object || dc->window) return nullptr;
  GdiObject* previous = dc->selected;
  dc->selected = object;
  dc->surface = &object->image;
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object || object->stock) return FALSE;
  --platform::g_live.bitmaps;
  delete object;
  return TRUE;
}

int GetObjectW(HGDIOBJ object, int size, void* record) {
  if (!object || !record || size < static_cast<int>(sizeof(BITMAP))) return 0;
  std::memcpy(record, &object->record, sizeof(BITMAP));
  return static_cast<int>(sizeof(BITMAP));
}

HBITMAP SHLoadDIBitmap(const char16_t* path) {
  if (!path) return nullptr;
  const auto hostPath = platform::FindTerminalPath(path);
  if (!hostPath) return nullptr;
  auto decoded = platform::LoadBitmapFile(*hostPath);
  if (!decoded) return nullptr;

  const int width = std::abs(decoded->width);
  const int height = std::abs(decoded->height);
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return nullptr;
  for (int y = 0; y < height; ++y) {
    std::memcpy(image.scanLine(y), decoded->pixels.data() + static_cast<std::size_t>(y) * width,
                static_cast<std::size_t>(width) * 4);
  }
  auto* bitmap = new GdiObject;
  bitmap->image = std::move(image);
  bitmap->record.bmWidth = decoded->width;
  bitmap->record.bmHeight = decoded->height;
  bitmap->record.bmPlanes = 1;
  bitmap->record.bmBitsPixel = decoded->bitCount;
  bitmap->record.bmWidthBytes = static_cast<LONG>(((static_cast<std::int64_t>(width) * decoded->bitCount + 15) / 16) * 2);
  ++platform::g_live.bitmaps;
  return bitmap;
}

BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
  if (!destination || !source || !destination->surface || !source->surface || rop != SRCCOPY) return FALSE;
  // A bitmap stored top row first reports a negative height; its picture is drawn
  // upright all the same.
  const QRect from(sourceX, sourceY, std::abs(sourceWidth), std::abs(sourceHeight));
  QPainter painter(destination->surface);
  painter.drawImage(QRect(x, y, width, height), *source->surface, from);
  return TRUE;
}

CDC::~CDC() {
  if (m_hDC) DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC dc) {
  if (!dc) return nullptr;
  if (!dc->temporary) dc->temporary = std::make_unique<platform::TemporaryDC>(dc);
  return dc->temporary.get();
}

BOOL CDC::Attach(HDC dc) {
  if (m_hDC || !dc) return FALSE;
  m_hDC = dc;
  return TRUE;
}

HDC CDC::Detach() {
  HDC dc = m_hDC;
  m_hDC = nullptr;
  return dc;
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY, int sourceWidth,
                     int sourceHeight, DWORD rop) {
  return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX, sourceY, sourceWidth,
                      sourceHeight, rop);
}

CPaintDC::CPaintDC(CWnd* window) : m_window(window) {
  if (m_window && m_window->peer()) m_window->peer()->BeginPaint();
}

CPaintDC::~CPaintDC() {
  if (m_window && m_window->peer()) m_window->peer()->EndPaint();
}
