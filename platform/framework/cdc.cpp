#include "platform/framework/cdc.h"

#include <map>
#include <memory>
#include <utility>

#include "platform/framework/wnd.h"

namespace {
std::map<HDC, std::unique_ptr<CDC>>& TemporaryContexts() {
  static std::map<HDC, std::unique_ptr<CDC>> contexts;
  return contexts;
}
}  // namespace

CDC::~CDC() {
  if (m_hDC) ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC dc) {
  if (!dc) return nullptr;
  auto& temporary = TemporaryContexts()[dc];
  if (!temporary) {
    temporary = std::make_unique<CDC>();
    temporary->m_hDC = dc;
  }
  return temporary.get();
}

void CDC::DeleteTemporary(CDC* dc) {
  if (!dc) return;
  const auto found = TemporaryContexts().find(dc->m_hDC);
  if (found == TemporaryContexts().end() || found->second.get() != dc) return;
  dc->Detach();  // not owned: the window's context was released, not deleted
  TemporaryContexts().erase(found);
}

BOOL CDC::Attach(HDC dc) {
  if (m_hDC || !dc) return FALSE;
  m_hDC = dc;
  return TRUE;
}

HDC CDC::Detach() { return std::exchange(m_hDC, nullptr); }

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY, int sourceWidth,
                     int sourceHeight, DWORD rop) {
#ifdef _WIN32
  // The terminal stretches a colour picture by dropping rows and columns; the
  // desktop's default mode would AND each dropped row into its neighbour.
  ::SetStretchBltMode(m_hDC, COLORONCOLOR);
#endif
  return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX, sourceY, sourceWidth,
                      sourceHeight, rop);
}

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window ? window->m_hWnd : nullptr) {
  Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  Detach();  // EndPaint has given the context back
}
