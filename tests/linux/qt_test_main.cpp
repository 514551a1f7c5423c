// One QApplication for every in-process window test, on the display
// tests/support/xvfb.py provides, with a private runtime directory as Qt
// expects.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/linux/support/temp_dir.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  kestrune::testing::TempDir runtime;  // mkdtemp makes it 0700
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  int qtArgc = 1;
  char name[] = "kestrune_window_tests";
  char* qtArgv[] = {name, nullptr};
  QApplication application(qtArgc, qtArgv);
  return RUN_ALL_TESTS();
}
