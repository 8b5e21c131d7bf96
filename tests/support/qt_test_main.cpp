// GoogleTest's main with an off-screen QApplication, for tests that open dialogs.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "platform/qt/dialog_host.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  platform::InstallQtWindowSystem();
  return RUN_ALL_TESTS();
}
