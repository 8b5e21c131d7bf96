#pragma once
// The framework's window classes, as far as the dialog uses them. This core knows
// no toolkit: a window's look lives in a WindowPeer that the Qt layer attaches.
// Without a peer a window keeps its text and state in memory, which is what the
// device code and its tests need.

#include <cstdint>

#include "platform/cstring.h"

using UINT = unsigned int;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

namespace platform {

// What the toolkit does for one window.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void TextChanged(const CString& text) = 0;
};

}  // namespace platform

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  void SetWindowText(const char16_t* text);
  CString GetWindowText() const { return m_text; }

  void AttachPeer(platform::WindowPeer* peer) { m_peer = peer; }
  platform::WindowPeer* peer() const { return m_peer; }

 private:
  CString m_text;
  platform::WindowPeer* m_peer = nullptr;
};
