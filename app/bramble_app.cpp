#include "app/bramble_app.h"

#include "dialog/bramble_dlg.h"

CBrambleApp::CBrambleApp() = default;
CBrambleApp::~CBrambleApp() = default;

BEGIN_MESSAGE_MAP(CBrambleApp, CWinApp)
END_MESSAGE_MAP()

BOOL CBrambleApp::InitInstance() {
  SetRegistryKey(kRegistryKeyName);

  CBrambleDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();

  // The dialog has ended: no message loop of the application's own.
  return FALSE;
}
