#include <QApplication>

#include <gtest/gtest.h>

// The window's tests need no display server: Qt draws on its offscreen platform.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  // Each test decides when its window ends; Qt must not end the event loops meanwhile.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
