#include "platform/framework/winapp.h"

#include <filesystem>

#include "platform/framework/host.h"

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp(const WCHAR* appName) : m_strAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
int CWinApp::Run() { return ExitInstance(); }

CWinApp* AfxGetApp() { return g_app; }
HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandleW(nullptr); }
HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

int AfxWinMain(const char* executablePath) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (app->m_strAppName.IsEmpty() && executablePath) {
    app->m_strAppName = CString::FromUtf8(std::filesystem::path(executablePath).stem().string());
  }
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

int AfxMessageBox(const WCHAR* text, UINT type, UINT /*helpContext*/) {
  if (const auto& box = platform::CurrentHost().messageBox) return box(CString(text), type);
  CWinApp* app = AfxGetApp();
  const HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
  return ::MessageBoxW(owner, text, app ? app->m_strAppName.GetString() : nullptr, type);
}
