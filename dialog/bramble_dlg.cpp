#include "dialog/bramble_dlg.h"

#include "device/identity.h"
#include "dialog/messages.h"
#include "flash/change_mark.h"
#include "flash/flash_writer.h"
#include "logo/converter.h"
#include "logo/precheck.h"

namespace {

// Models whose default logo lives in resident flash, compared exactly.
constexpr const WCHAR* kModelList[] = {_T("RVT08"), _T("LM457"), _T("QX210")};

constexpr int kSdCard = 1;
constexpr int kResidentFlash = 0;
constexpr int kTruncateMode = 1;
constexpr int kConversionMode = 0;

const CString kSdLogoBmp(platform::kSdLogoBmp);
const CString kSdLogoBin(platform::kSdLogoBin);
const CString kSdCardRoot(platform::kSdCardRoot);
const CString kFlashLogoBmp(platform::kFlashLogoBmp);

bool IsListedModel(const CString& model) {
  for (const WCHAR* listed : kModelList) {
    if (model == listed) return true;
  }
  return false;
}

}  // namespace

CBrambleDlg::CBrambleDlg(CWnd* pParent) : CDialog(IDD_BRAMBLE_DIALOG, pParent), m_hIcon(nullptr) {
  m_hIcon = ::LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CBrambleDlg::~CBrambleDlg() = default;

BEGIN_MESSAGE_MAP(CBrambleDlg, CDialog)
  ON_BN_CLICKED(IDC_OPEN_IMAGE, &CBrambleDlg::OnOpenImage)
  ON_WM_PAINT()
  ON_BN_CLICKED(IDC_CONVERT, &CBrambleDlg::OnConvert)
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_RESET_LOGO, &CBrambleDlg::OnResetLogo)
END_MESSAGE_MAP()

void CBrambleDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_MESSAGE, m_ctlMessage);
  DDX_Control(pDX, IDC_MODEL, m_ctlModel);
  DDX_Control(pDX, IDC_VERSION, m_ctlVersion);
  DDX_Control(pDX, IDC_WIDTH, m_ctlWidth);
  DDX_Control(pDX, IDC_HEIGHT, m_ctlHeight);
  DDX_Control(pDX, IDC_BIT_COUNT, m_ctlBitCount);
}

BOOL CBrambleDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ShowWindow(SW_SHOWMAXIMIZED);

  m_strImagePath.Empty();
  CheckLimitedFunction();
  ReadSystemInfo();
  m_ctlModel.SetWindowText(m_strModelName);
  m_ctlVersion.SetWindowText(m_strSystemVersion);

  if (flash::ChangeMayBePending()) {
    // A change was cut short: area 1 may hold part of a logo and no end marker,
    // and the card's logo.bin is no sign of a change. It goes first, and the mark
    // only once logo.bin is known to be gone, so that an interruption or an error
    // here leaves the mark to say the same at the next start.
    m_ctlMessage.SetWindowText(kMsgLogoChangeNotCompleted);
    if (flash::RemoveFileIfPresent(kSdLogoBin)) flash::ClearChangePending();
  } else if (FileExists(kSdLogoBin)) {
    // A logo.bin left on the card is the trace of a completed logo change.
    m_ctlMessage.SetWindowText(kMsgAlreadyApplied);
    DeleteFileW(kSdLogoBin);
  }
  return TRUE;
}

int CBrambleDlg::ConvertBitmapToLogo(int selector) { return logo::ConvertBitmapToLogo(selector, m_strImagePath); }
bool CBrambleDlg::LoadAndCheckBitmap(const CString& path) { return logo::LoadAndCheckBitmap(path); }
bool CBrambleDlg::WriteStartupImage(int mode) { return logo::WriteStartupImage(mode); }
void CBrambleDlg::CheckLimitedFunction() { m_bModelKnown = device::CheckLimitedFunction(m_strModelName); }
void CBrambleDlg::ReadSystemInfo() { device::ReadSystemInfo(m_strSystemVersion, m_ctlVersion); }

void CBrambleDlg::OnOpenImage() {
  if (!FileExists(kSdLogoBmp)) {
    m_ctlMessage.SetWindowText(kMsgNoLogoBmp);
    return;
  }
  m_strImagePath = kSdLogoBmp;
  // The repaint previews the picture and gives the verdict.
  InvalidateRect(nullptr, TRUE);
}

void CBrambleDlg::OnConvert() {
  if (m_strImagePath.IsEmpty()) {
    m_ctlMessage.SetWindowText(kMsgNoImage);
    return;
  }
  if (!LoadAndCheckBitmap(m_strImagePath)) {
    m_ctlMessage.SetWindowText(kMsgCannotConvert);
    return;
  }
  m_ctlMessage.SetWindowText(kMsgConverting);
  // The work runs from the timer, so the message loop shows the text first.
  SetTimer(kConvertTimer, kConvertDelayMs, nullptr);
}

void CBrambleDlg::OnTimer(UINT_PTR nIDEvent) {
  CWnd::OnTimer(nIDEvent);
  if (nIDEvent == kConvertTimer) {
    KillTimer(kConvertTimer);
    RunConvertWork();
  } else if (nIDEvent == kStartupImageTimer) {
    KillTimer(kStartupImageTimer);
    m_ctlMessage.SetWindowText(WriteStartupImage(kConversionMode) ? kMsgLogoChanged : kMsgLogoChangeFailed);
  }
}

CBrambleDlg::LogoChange CBrambleDlg::ChangeLogo(int selector) {
  if (!flash::MarkChangePending()) return LogoChange::kFailed;
  const int converted = ConvertBitmapToLogo(selector);
  if (converted != 0) {
    // Nothing reached the flash, and the converter leaves no logo.bin of its own.
    flash::ClearChangePending();
    const auto result = static_cast<logo::ConvertResult>(converted);
    const bool refused = result == logo::ConvertResult::kSourceNotOpened || result == logo::ConvertResult::kNotLogoBitmap;
    return refused ? LogoChange::kSourceRefused : LogoChange::kFailed;
  }
  // A refused request, a short read or a failed finish keeps the mark: area 1
  // may be half written, or not durably.
  if (!WriteLogoToFlash(selector)) return LogoChange::kFailed;
  // A mark that stays would call the change cut short at the next start.
  return flash::ClearChangePending() ? LogoChange::kChanged : LogoChange::kFailed;
}

void CBrambleDlg::RunConvertWork() {
  LogoChange change = LogoChange::kFailed;
  try {
    change = ChangeLogo(kSdCard);
  } catch (...) {
    // The next start takes logo.bin for a completed change: it was not one.
    DeleteFileW(kSdLogoBin);
    throw;
  }
  switch (change) {
    case LogoChange::kChanged:
      m_ctlMessage.SetWindowText(kMsgLogoChanged);
      return;
    case LogoChange::kSourceRefused:
      // logo.bmp no longer passes the pre-check (cut short or gone since it did).
      m_ctlMessage.SetWindowText(kMsgCannotConvert);
      return;
    case LogoChange::kFailed:
      DeleteFileW(kSdLogoBin);
      m_ctlMessage.SetWindowText(kMsgLogoChangeFailed);
      return;
  }
}

void CBrambleDlg::OnResetLogo() {
  if (!m_bModelKnown) {
    m_ctlMessage.SetWindowText(kMsgDefaultRestoreFailed);
    return;
  }
  if (IsListedModel(m_strModelName)) {
    if (!FileExists(kFlashLogoBmp)) {
      m_ctlMessage.SetWindowText(kMsgCannotReset);
      return;
    }
    m_ctlMessage.SetWindowText(kMsgConvertingDefault);
    const bool restored = ChangeLogo(kResidentFlash) == LogoChange::kChanged;
    m_ctlMessage.SetWindowText(restored ? kMsgDefaultRestored : kMsgDefaultRestoreFailed);
    return;
  }
  if (!FileExists(kSdCardRoot)) {
    m_ctlMessage.SetWindowText(kMsgNoSdCard);
    return;
  }
  m_ctlMessage.SetWindowText(kMsgConvertingDefault);
  m_ctlMessage.SetWindowText(WriteStartupImage(kTruncateMode) ? kMsgDefaultRestored : kMsgDefaultRestoreFailed);
}
