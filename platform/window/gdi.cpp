// Drawing without a toolkit: device contexts draw on a dialog's surface or on
// the bitmap selected into them; the host shows the dialog's surface.

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/sim/bitmap_loader.h"
#include "platform/sim/terminal.h"
#include "platform/window/window.h"

struct HDC__ {};
struct HBITMAP__ {};

namespace platform::window {
namespace {

struct Bitmap : HBITMAP__ {
  BITMAP record{};
  Surface pixels;
  bool stock = false;
};

struct DeviceContext : HDC__ {
  Window* window = nullptr;    // a window's context: draws on its surface
  Bitmap* selected = nullptr;  // a memory context: draws on the selected bitmap
  Surface& Target() const { return window ? window->surface : selected->pixels; }
};

GdiCounts g_live;
std::vector<std::unique_ptr<DeviceContext>>& Contexts() {
  static std::vector<std::unique_ptr<DeviceContext>> contexts;
  return contexts;
}
std::vector<std::unique_ptr<Bitmap>>& Bitmaps() {
  static std::vector<std::unique_ptr<Bitmap>> bitmaps;
  return bitmaps;
}

// A memory context starts with a one-pixel bitmap selected, as on the platform.
Bitmap& StockBitmap() {
  static Bitmap stock = [] {
    Bitmap bitmap;
    bitmap.pixels.Reset(1, 1, 0xFF000000);
    bitmap.record = BITMAP{0, 1, 1, 2, 1, 1, nullptr};
    bitmap.stock = true;
    return bitmap;
  }();
  return stock;
}

DeviceContext* FindContext(HDC dc) {
  for (const auto& context : Contexts()) {
    if (context.get() == dc) return context.get();
  }
  return nullptr;
}

Bitmap* FindBitmap(HGDIOBJ object) {
  if (object == static_cast<HBITMAP__*>(&StockBitmap())) return &StockBitmap();
  for (const auto& bitmap : Bitmaps()) {
    if (static_cast<HBITMAP__*>(bitmap.get()) == object) return bitmap.get();
  }
  return nullptr;
}

DeviceContext* NewContext(Window* window, Bitmap* selected) {
  Contexts().push_back(std::make_unique<DeviceContext>());
  Contexts().back()->window = window;
  Contexts().back()->selected = selected;
  ++g_live.deviceContexts;
  return Contexts().back().get();
}

bool DeleteContext(HDC dc) {
  const auto erased = std::erase_if(Contexts(), [dc](const auto& context) { return context.get() == dc; });
  g_live.deviceContexts -= static_cast<int>(erased);
  return erased != 0;
}

void Present(Window& dialog) {
  if (WindowHost* host = CurrentWindowHost()) host->SurfaceChanged(dialog);
}

Window* DialogWindow(HWND handle) {
  Window* window = FromHandle(handle);
  return window && window->kind == Kind::Dialog ? window : nullptr;
}

}  // namespace

GdiCounts LiveGdiObjects() { return g_live; }

}  // namespace platform::window

using namespace platform;
using namespace platform::window;

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  Window* dialog = DialogWindow(window);
  if (!dialog || !paint) return nullptr;
  const bool erase = dialog->erasePending;
  if (erase) dialog->surface.Reset(dialog->surface.width, dialog->surface.height, kDialogBackground);
  dialog->updatePending = false;
  dialog->erasePending = false;
  *paint = PAINTSTRUCT{NewContext(dialog, nullptr), erase ? TRUE : FALSE, dialog->rect};
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  Window* dialog = DialogWindow(window);
  if (!dialog || !paint) return FALSE;
  DeleteContext(paint->hdc);
  Present(*dialog);
  return TRUE;
}

HDC GetDC(HWND window) {
  Window* dialog = DialogWindow(window);
  return dialog ? NewContext(dialog, nullptr) : nullptr;
}

int ReleaseDC(HWND window, HDC dc) {
  Window* dialog = DialogWindow(window);
  const DeviceContext* context = FindContext(dc);
  if (!dialog || !context || context->window != dialog) return 0;
  DeleteContext(dc);
  Present(*dialog);
  return 1;
}

HDC CreateCompatibleDC(HDC /*dc*/) { return NewContext(nullptr, &StockBitmap()); }

BOOL DeleteDC(HDC dc) {
  const DeviceContext* context = FindContext(dc);
  // A window's context is released, not deleted.
  if (!context || context->window) return FALSE;
  return DeleteContext(dc) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  DeviceContext* context = FindContext(dc);
  Bitmap* bitmap = FindBitmap(object);
  if (!context || !bitmap || context->window) return nullptr;
  return static_cast<HBITMAP__*>(std::exchange(context->selected, bitmap));
}

BOOL DeleteObject(HGDIOBJ object) {
  Bitmap* bitmap = FindBitmap(object);
  if (!bitmap || bitmap->stock) return FALSE;
  for (const auto& context : Contexts()) {
    if (context->selected == bitmap) return FALSE;  // still selected: the platform refuses too
  }
  std::erase_if(Bitmaps(), [bitmap](const auto& entry) { return entry.get() == bitmap; });
  --g_live.bitmaps;
  return TRUE;
}

int GetObjectW(HANDLE object, int size, LPVOID record) {
  const Bitmap* bitmap = FindBitmap(object);
  if (!bitmap || !record || size < static_cast<int>(sizeof(BITMAP))) return 0;
  std::memcpy(record, &bitmap->record, sizeof(BITMAP));
  return static_cast<int>(sizeof(BITMAP));
}

BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
  const DeviceContext* to = FindContext(destination);
  const DeviceContext* from = FindContext(source);
  if (!to || !from || rop != SRCCOPY || width <= 0 || height <= 0) return FALSE;
  Surface& out = to->Target();
  const Surface& in = from->Target();
  // A bitmap stored top row first reports a negative height; it is drawn upright
  // all the same. Each destination pixel takes the source pixel it falls on: no
  // smoothing, as the platform's default stretch mode.
  const std::int64_t spanX = std::abs(sourceWidth);
  const std::int64_t spanY = std::abs(sourceHeight);
  for (int row = 0; row < height; ++row) {
    const int outY = y + row;
    const auto inY = sourceY + static_cast<int>(row * spanY / height);
    if (outY < 0 || outY >= out.height || inY < 0 || inY >= in.height) continue;
    for (int column = 0; column < width; ++column) {
      const int outX = x + column;
      const auto inX = sourceX + static_cast<int>(column * spanX / width);
      if (outX < 0 || outX >= out.width || inX < 0 || inX >= in.width) continue;
      out.pixels[static_cast<std::size_t>(outY) * static_cast<std::size_t>(out.width) + static_cast<std::size_t>(outX)] =
          in.At(inX, inY);
    }
  }
  return TRUE;
}

HBITMAP SHLoadDIBitmap(const WCHAR* fileName) {
  const auto hostPath = fileName ? FindTerminalPath(fileName) : std::nullopt;
  auto decoded = hostPath ? LoadBitmapFile(*hostPath) : std::nullopt;
  if (!decoded) return nullptr;
  auto bitmap = std::make_unique<Bitmap>();
  const int width = std::abs(decoded->width);
  const int height = std::abs(decoded->height);
  bitmap->pixels.width = width;
  bitmap->pixels.height = height;
  bitmap->pixels.pixels = std::move(decoded->pixels);
  const auto stride = (static_cast<std::int64_t>(width) * decoded->bitCount + 15) / 16 * 2;
  // As the platform's GetObjectW: a picture stored top row first reports its
  // height without the header's sign.
  bitmap->record = BITMAP{0, width, height, static_cast<LONG>(stride), 1, decoded->bitCount, nullptr};
  Bitmaps().push_back(std::move(bitmap));
  ++g_live.bitmaps;
  return Bitmaps().back().get();
}
