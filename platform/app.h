#pragma once
// CWinApp: the one application object and the framework's start-up.

#include "platform/window.h"

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(const char16_t* appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // The application's own message loop; only runs when InitInstance returns TRUE.
  virtual int Run();

  // Names the registry key for profile settings. Nothing is written there until a
  // setting is, and this program writes none.
  void SetRegistryKey(const char16_t* company);
  const CString& RegistryKey() const { return m_registryKey; }

  CWnd* m_pMainWnd = nullptr;
  CString m_strAppName;

 private:
  CString m_registryKey;
};

CWinApp* AfxGetApp();

// The framework's WinMain: names the application after the executable, runs
// InitInstance, then the message loop or ExitInstance. Returns the exit code.
int AfxWinMain(const char* executablePath);
