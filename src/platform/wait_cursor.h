// Shows the platform's wait cursor while an object of this type lives, for
// work that keeps the window from answering (reading or writing a large file).
#pragma once

#include <windows.h>

namespace tolvex {

class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace tolvex
