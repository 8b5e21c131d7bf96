#include "platform/framework/wnd.h"

#include <map>
#include <memory>
#include <utility>

#include "platform/framework/cdc.h"
#include "platform/framework/cfile.h"
#include "platform/framework/host.h"
#include "platform/framework/winapp.h"

namespace {

// Handles with an object of the program attached (members bound by the data
// exchange, the dialog itself), and objects made for other handles on demand.
std::map<HWND, CWnd*>& AttachedWindows() {
  static std::map<HWND, CWnd*> windows;
  return windows;
}
std::map<HWND, std::unique_ptr<CWnd>>& TemporaryWindows() {
  static std::map<HWND, std::unique_ptr<CWnd>> windows;
  return windows;
}

// Posted to a dialog that has initialised, so that the script starts from inside
// the dialog's own message loop.
constexpr UINT kRunModalScript = WM_APP + 0x0B00;

}  // namespace

// ---- Message maps --------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

bool CCmdTarget::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
  const UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfnHandler; ++entry) {
      if (entry->nMessage == message && entry->nCode == code && entry->nID == id) {
        entry->pfnHandler(*this, wParam, lParam);
        return true;
      }
    }
  }
  return false;
}

// ---- CWnd ------------------------------------------------------------------------

CWnd::~CWnd() { Detach(); }

CWnd* CWnd::FromHandle(HWND window) {
  if (!window) return nullptr;
  if (const auto attached = AttachedWindows().find(window); attached != AttachedWindows().end()) return attached->second;
  auto& temporary = TemporaryWindows()[window];
  if (!temporary) {
    temporary = std::make_unique<CWnd>();
    temporary->m_hWnd = window;
  }
  return temporary.get();
}

BOOL CWnd::Attach(HWND window) {
  if (m_hWnd || !window) return FALSE;
  m_hWnd = window;
  AttachedWindows()[window] = this;
  TemporaryWindows().erase(window);
  return TRUE;
}

HWND CWnd::Detach() {
  const HWND window = std::exchange(m_hWnd, nullptr);
  if (const auto found = AttachedWindows().find(window); found != AttachedWindows().end() && found->second == this) {
    AttachedWindows().erase(found);
  }
  m_armedTimers.clear();  // the window's timers went with it
  return window;
}

void CWnd::SetWindowText(const WCHAR* text) { ::SetWindowTextW(m_hWnd, text); }

void CWnd::GetWindowText(CString& text) const {
  platform::WString buffer(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, WCHAR{});
  const int length = ::GetWindowTextW(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
  buffer.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  text = CString(std::move(buffer));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) { ::InvalidateRect(m_hWnd, rect, erase); }

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  const UINT_PTR set = ::SetTimer(m_hWnd, id, elapse, timerProc);
  if (set != 0) m_armedTimers.insert(id);
  return set;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
  m_armedTimers.erase(id);
  return ::KillTimer(m_hWnd, id);
}

CDC* CWnd::GetDC() {
  const HDC dc = ::GetDC(m_hWnd);
  return dc ? CDC::FromHandle(dc) : nullptr;
}

int CWnd::ReleaseDC(CDC* dc) {
  if (!dc) return 0;
  const int released = ::ReleaseDC(m_hWnd, dc->m_hDC);
  CDC::DeleteTemporary(dc);
  return released;
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

LRESULT CWnd::Default() {
  m_defaultRequested = true;
  return 0;
}

bool CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const bool outerDefault = std::exchange(m_defaultRequested, false);
  bool handled = false;
  try {
    handled = OnWndMsg(message, wParam, lParam);
  } catch (const CException& error) {
    // The handler's remaining steps are skipped; the user is told in the
    // framework's standard error box.
    AfxMessageBox(error.GetErrorMessage(), MB_ICONEXCLAMATION);
    handled = true;
  }
  const bool wantsDefault = !handled || m_defaultRequested;
  m_defaultRequested = outerDefault;
  result = 0;
  return !wantsDefault;
}

void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }

// ---- Dialogs -----------------------------------------------------------------------

INT_PTR CALLBACK CDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->Attach(window);
    platform::CurrentHost().PlaceControls(window, dialog->m_dialogTemplate);
    const BOOL focusFirstTabStop = dialog->OnInitDialog();
    if (platform::CurrentHost().modalScript) ::PostMessageW(window, kRunModalScript, 0, 0);
    return focusFirstTabStop;
  }
  const auto attached = AttachedWindows().find(window);
  auto* dialog = attached == AttachedWindows().end() ? nullptr : dynamic_cast<CDialog*>(attached->second);
  if (!dialog) return FALSE;
  if (message == kRunModalScript) {
    if (auto script = std::exchange(platform::CurrentHost().modalScript, {})) script(*dialog);
    return TRUE;
  }
  LRESULT result = 0;
  return dialog->WindowProc(message, wParam, lParam, result) ? TRUE : FALSE;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(m_nIDTemplate), RT_DIALOG);
  const HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(loaded ? ::LockResource(loaded) : nullptr);
  if (!dialogTemplate) return -1;
  m_ending = false;
  m_dialogTemplate = {reinterpret_cast<const std::byte*>(dialogTemplate), ::SizeofResource(instance, found)};
  const INT_PTR result = ::DialogBoxIndirectParamW(instance, dialogTemplate, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr,
                                                   DialogProcedure, reinterpret_cast<LPARAM>(this));
  m_dialogTemplate = {};
  // The window has gone, and with it the handles of the dialog and its controls.
  for (CWnd* control : m_boundControls) control->Detach();
  m_boundControls.clear();
  Detach();
  TemporaryWindows().clear();
  if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  return result;
}

void CDialog::EndDialog(int result) {
  m_ending = true;
  ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  auto* dialog = static_cast<CDialog*>(pDX->m_pDlgWnd);
  if (rControl.m_hWnd) return;
  if (rControl.Attach(::GetDlgItem(dialog->m_hWnd, nIDC))) dialog->m_boundControls.push_back(&rControl);
}

namespace platform {

bool PumpUntilIdle(CDialog& dialog, DWORD limitMilliseconds) {
  // Waits in short slices, so that the limit counts however the platform's
  // clock runs; a timer is due within a slice or two.
  constexpr DWORD kSliceMilliseconds = 5;
  DWORD waited = 0;
  for (;;) {
    MSG message;
    while (!dialog.IsEnding() && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!::IsDialogMessageW(dialog.m_hWnd, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
    if (dialog.IsEnding() || !dialog.HasArmedTimers()) return true;
    if (waited >= limitMilliseconds) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kSliceMilliseconds, QS_ALLINPUT);
    waited += kSliceMilliseconds;
  }
}

}  // namespace platform
