#pragma once
// The framework's window classes: message maps, CWnd over a window handle, and
// the dialog run by the platform's dialog manager. A CWnd method is one call of
// the platform's window API on m_hWnd; messages reach the message map through
// one dialog procedure.

#include <cstddef>
#include <set>
#include <span>
#include <vector>

#include "platform/framework/cstring.h"

class CCmdTarget;
class CDC;
class CDialog;

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

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                     \
    using TheBaseClass = baseClass;                                                  \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                    \
  { 0, 0, 0, nullptr }                                                       \
  }                                                                          \
  ;                                                                          \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                               \
  }

#define ON_BN_CLICKED(id, memberFxn)                                                \
  {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), [](CCmdTarget& target, WPARAM, LPARAM) { \
     (static_cast<ThisClass&>(target).*(memberFxn))();                              \
   }},
#define ON_COMMAND(id, memberFxn) ON_BN_CLICKED(id, memberFxn)
#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, [](CCmdTarget& target, WPARAM, LPARAM) { static_cast<ThisClass&>(target).OnPaint(); }},
#define ON_WM_TIMER()                                                    \
  {WM_TIMER, 0, 0, [](CCmdTarget& target, WPARAM wParam, LPARAM) {       \
     static_cast<ThisClass&>(target).OnTimer(static_cast<UINT_PTR>(wParam)); \
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
  CWnd() = default;
  ~CWnd() override;

  HWND m_hWnd = nullptr;

  // The object attached to the handle, else a temporary one that lives until the
  // dialog it belongs to ends.
  static CWnd* FromHandle(HWND window);
  BOOL Attach(HWND window);
  HWND Detach();

  void SetWindowText(const WCHAR* text);
  void GetWindowText(CString& text) const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL ShowWindow(int command);
  void InvalidateRect(const RECT* rect, BOOL erase = TRUE);
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc);
  BOOL KillTimer(UINT_PTR id);
  // Timers set and not yet killed: what a script driving the window waits for.
  bool HasArmedTimers() const { return !m_armedTimers.empty(); }
  CDC* GetDC();
  int ReleaseDC(CDC* dc);
  CWnd* GetDlgItem(int id) const;

  // The platform's default processing of the message being handled; for a dialog
  // it runs when the handler has returned.
  LRESULT Default();

  // Runs the message map for one message of this window. The framework's file
  // exception leaving a handler is caught here and shown in the framework's error
  // box, as the framework's message dispatch does. False when the platform's
  // default processing should follow.
  bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  void OnPaint();                  // validates, draws nothing
  void OnTimer(UINT_PTR idEvent);  // default processing

 private:
  std::set<UINT_PTR> m_armedTimers;
  bool m_defaultRequested = false;
};

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

class CStatic : public CWnd {};
class CEdit : public CWnd {};

// Binds a member control to the dialog's control with that identifier, for as
// long as the dialog's window lives.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
 public:
  CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Creates the dialog from its template resource and runs it until it ends;
  // the result EndDialog gave, or -1 when there is no such template.
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  // EndDialog has been called: the dialog ends once its current message is handled.
  bool IsEnding() const { return m_ending; }
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual BOOL OnInitDialog();

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();

  DECLARE_MESSAGE_MAP()

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

  // Every dialog of the framework runs on this procedure: it hands each message to
  // the dialog's message map.
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_nIDTemplate;
  std::span<const std::byte> m_dialogTemplate;  // while the dialog runs
  CWnd* m_pParentWnd;
  bool m_ending = false;
  std::vector<CWnd*> m_boundControls;
};

namespace platform {

// Handles the dialog's messages until none is waiting and no timer of the dialog
// is armed, or the dialog is ending: what a script does after each step it takes.
// Gives up when a timer is still armed after `limit`, and says so by returning false.
bool PumpUntilIdle(CDialog& dialog, DWORD limitMilliseconds = 30000);

}  // namespace platform
