#include "platform/app.h"

#include <filesystem>

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(const char16_t* appName) : m_strAppName(appName ? appName : u"") { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
int CWinApp::Run() { return ExitInstance(); }

void CWinApp::SetRegistryKey(const char16_t* company) { m_registryKey = CString(company); }

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain(const char* executablePath) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (app->m_strAppName.IsEmpty() && executablePath) {
    app->m_strAppName = CString::FromUtf8(std::filesystem::path(executablePath).stem().string());
  }
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
