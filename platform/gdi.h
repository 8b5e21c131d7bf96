#pragma once
// The drawing calls the preview uses: device contexts, bitmaps loaded from files,
// one stretched block transfer. Handles are opaque; the Qt layer draws. The layer
// counts what is alive so a test can show that painting leaks nothing.

#include <cstdint>

#include "platform/window.h"

struct GdiObject;
struct DeviceContext;
using HGDIOBJ = GdiObject*;
using HBITMAP = GdiObject*;
using HDC = DeviceContext*;
using WORD = std::uint16_t;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;
};

inline constexpr DWORD SRCCOPY = 0x00CC0020;

HDC CreateCompatibleDC(HDC reference);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
// Fills a BITMAP record for a bitmap; returns the bytes written, 0 on failure.
int GetObjectW(HGDIOBJ object, int size, void* record);
// Loads a bitmap file from a terminal path; nullptr when it is not one the
// platform's loader accepts. The record reports the file's own width, height
// (negative for rows stored top row first) and bit count.
HBITMAP SHLoadDIBitmap(const char16_t* path);
BOOL StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop);

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  // A framework object for a handle it does not own.
  static CDC* FromHandle(HDC dc);
  BOOL Attach(HDC dc);
  HDC Detach();
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY, int sourceWidth,
                  int sourceHeight, DWORD rop);

  HDC m_hDC = nullptr;
};

// Begins painting in its constructor and ends it in its destructor.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC() override;

 private:
  CWnd* m_window;
};

namespace platform {

struct GdiCounts {
  int bitmaps = 0;
  int deviceContexts = 0;
  friend bool operator==(const GdiCounts&, const GdiCounts&) = default;
};
GdiCounts LiveGdiObjects();

}  // namespace platform
