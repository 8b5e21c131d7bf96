// The preview: every repaint while an image is open loads the picture again,
// shows its numbers and the verdict, and draws it squeezed into the preview
// rectangle.

#include <cstring>

#include "dialog/bramble_dlg.h"
#include "dialog/messages.h"
#include "logo/image_format.h"

void CBrambleDlg::OnPaint() {
  CPaintDC paintDc(this);
  if (m_strImagePath.IsEmpty()) return;

  // The whole preview is drawn through the window's context, even when only a
  // part of the dialog needs repainting.
  CDC* windowDc = GetDC();
  CDC memoryDc;
  memoryDc.Attach(CreateCompatibleDC(windowDc ? windowDc->m_hDC : nullptr));

  HBITMAP bitmap = SHLoadDIBitmap(m_strImagePath);
  BITMAP record;
  std::memset(&record, 0, sizeof record);
  GetObjectW(bitmap, sizeof record, &record);

  m_nWidth = record.bmWidth;
  m_nHeight = record.bmHeight;
  m_nBitCount = record.bmBitsPixel;
  m_strWidth.Format(_T("%d"), m_nWidth);
  m_strHeight.Format(_T("%d"), m_nHeight);
  m_strBitCount.Format(_T("%d"), m_nBitCount);
  m_ctlWidth.SetWindowText(m_strWidth);
  m_ctlHeight.SetWindowText(m_strHeight);
  m_ctlBitCount.SetWindowText(m_strBitCount);

  const bool usable = m_nWidth == logo::kLogoWidth && m_nHeight == logo::kLogoHeight && m_nBitCount == logo::kLogoBitCount;
  m_ctlMessage.SetWindowText(usable ? kMsgUsable : kMsgNotUsable);

  if (bitmap) {
    HGDIOBJ previous = SelectObject(memoryDc.m_hDC, bitmap);
    if (windowDc) {
      windowDc->StretchBlt(kPreviewLeft, kPreviewTop, kPreviewWidth, kPreviewHeight, &memoryDc, 0, 0, m_nWidth,
                           m_nHeight, SRCCOPY);
    }
    if (previous) SelectObject(memoryDc.m_hDC, previous);
    DeleteObject(bitmap);
  }
  if (windowDc) ReleaseDC(windowDc);
}
