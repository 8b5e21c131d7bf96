#include "platform/window.h"

#include "platform/cfile.h"
#include "platform/message_box.h"

namespace {
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

void CWnd::SetWindowText(const char16_t* text) {
  if (m_peer) m_peer->SetText(CString(text));
  else m_text = CString(text);
}

void CWnd::DetachPeer() {
  if (m_peer) m_text = m_peer->Text();
  m_peer = nullptr;
}

CString CWnd::GetWindowText() const { return m_peer ? m_peer->Text() : m_text; }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage current{message, wParam, lParam};
  const CurrentMessage* outer = m_current;
  m_current = &current;
  LRESULT result = 0;
  try {
    if (!OnWndMsg(message, wParam, lParam)) result = DefWindowProc(message, wParam, lParam);
  } catch (const CException& error) {
    // The handler's remaining steps are skipped; the user is told in the
    // framework's standard error box.
    AfxMessageBox(error.GetErrorMessage(), MB_ICONEXCLAMATION);
  }
  m_current = outer;
  return result;
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

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!m_peer) return 0;
  switch (message) {
    case WM_PAINT:
      m_peer->BeginPaint();
      m_peer->EndPaint();
      break;
    case WM_SETICON:
      m_peer->SetIcon(wParam == ICON_BIG, reinterpret_cast<HICON>(lParam));
      break;
    default:
      break;
  }
  return 0;
}

LRESULT CWnd::Default() {
  if (!m_current) return 0;
  return DefWindowProc(m_current->message, m_current->wParam, m_current->lParam);
}

void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }

BOOL CWnd::ShowWindow(int command) {
  if (m_peer) m_peer->Show(command);
  return TRUE;
}

BOOL CWnd::InvalidateRect(const RECT*, BOOL erase) {
  // The whole window is repainted whatever the rectangle: the dialog only ever
  // invalidates all of itself.
  if (m_peer) m_peer->Invalidate(erase != FALSE);
  return TRUE;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void (*)(CWnd*, UINT, UINT_PTR, DWORD)) {
  if (!m_peer || id == 0) return 0;
  m_peer->SetTimer(id, elapse);
  return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) { return m_peer && m_peer->KillTimer(id) ? TRUE : FALSE; }

CDC* CWnd::GetDC() { return m_peer ? m_peer->GetDC() : nullptr; }

int CWnd::ReleaseDC(CDC* dc) {
  if (!m_peer || !dc) return 0;
  m_peer->ReleaseDC(dc);
  return 1;
}
