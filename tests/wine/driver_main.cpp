// Test programs under Wine take the path of the program under test as their
// first argument (after GoogleTest's own flags).
#include <gtest/gtest.h>

#include "driver.h"

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) tolvex::driver::SetTargetPath(argv[1]);
  return RUN_ALL_TESTS();
}
