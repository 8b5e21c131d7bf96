#pragma once
// The framework's window classes, as far as the dialog uses them. This core knows
// no toolkit: what a window looks like and when it paints lives in a WindowPeer
// that the Qt layer attaches. Without a peer a window keeps its text in memory,
// which is all the device code and its tests need.

#include <cstdint>

#include "platform/cstring.h"

using UINT = unsigned int;
using BOOL = int;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

// Window messages and their codes, with the platform's values.
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT BN_CLICKED = 0;
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWMAXIMIZED = 11;

inline constexpr WPARAM MAKEWPARAM(UINT low, UINT high) { return (static_cast<WPARAM>(high & 0xFFFF) << 16) | (low & 0xFFFF); }
inline constexpr UINT LOWORD(WPARAM value) { return static_cast<UINT>(value & 0xFFFF); }
inline constexpr UINT HIWORD(WPARAM value) { return static_cast<UINT>((value >> 16) & 0xFFFF); }

struct IconHandle;
using HICON = const IconHandle*;
class CDC;

namespace platform {

// What the toolkit does for one window. Controls need only their text; the
// dialog's peer does the rest.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void SetText(const CString& text) = 0;
  virtual CString Text() const = 0;
  virtual void Show(int /*command*/) {}
  virtual void Invalidate(bool /*erase*/) {}
  // Painting: validates the window and erases its background when asked to.
  virtual void BeginPaint() {}
  virtual void EndPaint() {}
  virtual void SetTimer(UINT_PTR /*id*/, UINT /*milliseconds*/) {}
  virtual bool KillTimer(UINT_PTR /*id*/) { return false; }
  virtual void SetIcon(bool /*big*/, HICON /*icon*/) {}
  virtual void Close() {}
  virtual CDC* GetDC() { return nullptr; }
  virtual void ReleaseDC(CDC* /*dc*/) {}
};

}  // namespace platform

class CCmdTarget;

// One entry of a message map. The handler is a small function that casts the
// target to the class that declared the map and calls the member.
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  void (*pfnHandler)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                    \
 protected:                                      \
  static const AFX_MSGMAP* GetThisMessageMap();  \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                   \
    using ThisClass [[maybe_unused]] = theClass;                                       \
    using TheBaseClass = baseClass;                                                    \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                   \
  { 0, 0, 0, nullptr }                                                      \
  }                                                                         \
  ;                                                                         \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                              \
  }

#define ON_BN_CLICKED(id, memberFxn)                                                             \
  {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id),                                                \
   [](CCmdTarget& target, WPARAM, LPARAM) { (static_cast<ThisClass&>(target).*(memberFxn))(); }},
#define ON_COMMAND(id, memberFxn) ON_BN_CLICKED(id, memberFxn)
#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, [](CCmdTarget& target, WPARAM, LPARAM) { static_cast<ThisClass&>(target).OnPaint(); }},
#define ON_WM_TIMER()                                                                      \
  {WM_TIMER, 0, 0, [](CCmdTarget& target, WPARAM wParam, LPARAM) {                         \
     static_cast<ThisClass&>(target).OnTimer(static_cast<UINT_PTR>(wParam));               \
   }},

// The root of everything that has a message map.
class CCmdTarget {
 public:
  CCmdTarget() = default;
  virtual ~CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  virtual const AFX_MSGMAP* GetMessageMap() const;
  static const AFX_MSGMAP* GetThisMessageMap();

 protected:
  // Finds the handler in this class's map and then in each base map; true when one ran.
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam);
};

class CWnd : public CCmdTarget {
 public:

  void SetWindowText(const char16_t* text);
  CString GetWindowText() const;

  // Sends a message to this window and returns when its handler has run. The
  // framework's file exception leaving a handler is caught here and shown in the
  // framework's error box, as the platform's message dispatch does.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // The default processing of the message being handled.
  LRESULT Default();

  BOOL ShowWindow(int command);
  BOOL InvalidateRect(const RECT* rect, BOOL erase = TRUE);
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void (*timerProc)(CWnd*, UINT, UINT_PTR, DWORD) = nullptr);
  BOOL KillTimer(UINT_PTR id);
  CDC* GetDC();
  int ReleaseDC(CDC* dc);

  void AttachPeer(platform::WindowPeer* peer) { m_peer = peer; }
  // Keeps the window's last text when its toolkit window goes away.
  void DetachPeer();
  platform::WindowPeer* peer() const { return m_peer; }

 protected:
  // What the platform does with a message that no map handles.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  void OnPaint();                // validates, draws nothing
  void OnTimer(UINT_PTR idEvent);  // default processing

 private:
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CString m_text;
  platform::WindowPeer* m_peer = nullptr;
  const CurrentMessage* m_current = nullptr;
};
