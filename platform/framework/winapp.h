#pragma once
// The application object, the framework's start-up, and its message box.

#include "platform/framework/wnd.h"

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(const WCHAR* appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // The application's own message loop; only runs when InitInstance returns TRUE.
  virtual int Run();

  // Names the registry key for profile settings, under which this program
  // writes none.
  void SetRegistryKey(const WCHAR* /*company*/) {}

  CWnd* m_pMainWnd = nullptr;
  CString m_strAppName;
};

CWinApp* AfxGetApp();
// The module whose resources the program uses: its own.
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// The framework's WinMain: names the application after the executable, runs
// InitInstance, then the message loop or ExitInstance. Returns the exit code.
int AfxWinMain(const char* executablePath);

// A message box over the main window, with the application's name as caption,
// unless the host's messageBox takes its place.
int AfxMessageBox(const WCHAR* text, UINT type = MB_OK, UINT helpContext = 0);
