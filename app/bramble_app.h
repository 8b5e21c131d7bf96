#pragma once
// The application object: runs the logo dialog modally, then the program ends.

#include "platform/app.h"

class CBrambleApp : public CWinApp {
 public:
  CBrambleApp();
  ~CBrambleApp() override;
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

// The registry key named at start; nothing is ever written under it.
inline constexpr const char16_t* kRegistryKeyName = u"Local AppWizard-Generated Applications";
