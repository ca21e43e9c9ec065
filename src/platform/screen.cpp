#include "platform/screen.h"

#include <windows.h>

#include "platform/units.h"

namespace tolvex {

int ScreenTwipsPerPixel() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return TwipsPerPixel(dpi);
}

}  // namespace tolvex
