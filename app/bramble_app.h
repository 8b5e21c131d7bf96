#pragma once
// The application object: runs the logo dialog modally, then the program ends.

#include "platform/framework/afxwin.h"

class CBrambleApp : public CWinApp {
 public:
  CBrambleApp();
  ~CBrambleApp() override;
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

// The registry key named at start; nothing is ever written under it.
inline constexpr const WCHAR* kRegistryKeyName = _T("Local AppWizard-Generated Applications");
