#include "platform/window.h"

void CWnd::SetWindowText(const char16_t* text) {
  m_text = CString(text);
  if (m_peer) m_peer->TextChanged(m_text);
}
