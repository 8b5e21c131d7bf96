// The application object: one modal run of the dialog, nothing saved.

#include <gtest/gtest.h>

#include "app/bramble_app.h"
#include "app/resources.h"
#include "platform/icon.h"
#include "platform/qt/dialog_host.h"
#include "platform/qt/play.h"
#include "tests/support/terminal_setup.h"

namespace {

using namespace bramble::test;

TEST(Application, RunsTheDialogOnceWithItsIconAndWritesNothingUnderItsKey) {
  TempTerminal terminal;
  MakeReadyTerminal(terminal);
  const std::string registryBefore = ReadText(terminal / "registry.reg");
  CBrambleApp app;
  int runs = 0;
  bool wasMainWindow = false;
  bool hasIcon = false;
  app::RegisterResources();
  platform::ModalRunner previous = platform::SetModalRunner([&](CDialog& dialog, platform::DialogHost& host) {
    ++runs;
    wasMainWindow = app.m_pMainWnd == &dialog;
    auto& qtHost = static_cast<platform::QtDialogHost&>(host);
    hasIcon = !qtHost.Widget().windowIcon().isNull();
    qtHost.SendCommand(IDCANCEL);
  });
  EXPECT_EQ(AfxWinMain("/usr/bin/bramble"), 0);
  platform::SetModalRunner(std::move(previous));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(wasMainWindow);
  EXPECT_TRUE(hasIcon);
  ASSERT_NE(LoadIconW(128), nullptr);
  EXPECT_EQ(LoadIconW(128)->images.size(), 9u);  // their sizes and depths: IconResource tests
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(app.m_strAppName, u"bramble");
  EXPECT_EQ(app.RegistryKey(), u"Local AppWizard-Generated Applications");
  EXPECT_EQ(ReadText(terminal / "registry.reg"), registryBefore);
}

}  // namespace
