#pragma once
// The framework's device contexts: CDC over a device-context handle, and
// CPaintDC, which paints between BeginPaint and EndPaint for its lifetime.

#include "platform/api/windows_api.h"

class CWnd;

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;

  // A framework object for a handle it does not own; it lives until the window
  // context is released (CWnd::ReleaseDC).
  static CDC* FromHandle(HDC dc);
  static void DeleteTemporary(CDC* dc);

  // An attached context is deleted with the object.
  BOOL Attach(HDC dc);
  HDC Detach();
  BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY, int sourceWidth,
                  int sourceHeight, DWORD rop);
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC() override;

  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};
