#pragma once
// The program's only window: a full-screen modal dialog that previews the SD
// card's logo.bmp, converts it to logo.bin, programs it into the flash logo area,
// and puts the default logo back.

#include <cstdint>

#include "dialog/resource.h"
#include "platform/framework/afxwin.h"

class CBrambleDlg : public CDialog {
 public:
  explicit CBrambleDlg(CWnd* pParent = nullptr);
  ~CBrambleDlg() override;

  // The logo operations. They read no dialog state but the image path.
  int ConvertBitmapToLogo(int selector);
  bool LoadAndCheckBitmap(const CString& path);
  bool WriteStartupImage(int mode);
  void CheckLimitedFunction();
  void ReadSystemInfo();

  HICON m_hIcon;
  CString m_strImagePath;
  CStatic m_ctlMessage;
  CEdit m_ctlModel;
  CEdit m_ctlVersion;
  CString m_strModelName;
  CString m_strSystemVersion;
  CEdit m_ctlWidth;
  CString m_strWidth;
  CEdit m_ctlHeight;
  CString m_strHeight;
  CEdit m_ctlBitCount;
  CString m_strBitCount;
  std::int32_t m_nWidth;
  std::int32_t m_nHeight;
  std::int32_t m_nBitCount;
  // False when the registry could not be read: the model may be a listed one, so
  // Reset logo cannot tell which way puts the default logo back.
  bool m_bModelKnown = true;

  // The one-shot timer behind Convert, and the startup-image timer that no
  // command arms.
  static constexpr UINT_PTR kConvertTimer = 30;
  static constexpr UINT kConvertDelayMs = 10;
  static constexpr UINT_PTR kStartupImageTimer = 20;
  // Where the preview draws the picture, squeezed, in pixels of the client area.
  static constexpr int kPreviewLeft = 25, kPreviewTop = 80, kPreviewWidth = 550, kPreviewHeight = 350;

 protected:
  DECLARE_MESSAGE_MAP()
  void DoDataExchange(CDataExchange* pDX) override;

 public:
  BOOL OnInitDialog() override;

 protected:
  void OnOpenImage();
  void OnPaint();
  void OnConvert();
  void OnTimer(UINT_PTR nIDEvent);
  void OnResetLogo();

 private:
  enum class LogoChange { kChanged, kSourceRefused, kFailed };

  void RunConvertWork();
  // Converts and programs the logo of `selector` inside the mark of a pending
  // change (flash/change_mark.h), which is written before the converter's first
  // byte and removed after the writer's success, or at once when the source was
  // refused. A file error leaves as the framework's exception, with the mark in
  // place.
  LogoChange ChangeLogo(int selector);
};
