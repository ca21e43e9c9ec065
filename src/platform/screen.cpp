#include "platform/screen.h"

#include <windows.h>

#include "platform/unique_handle.h"
#include "platform/units.h"

namespace tolvex {

int ScreenTwipsPerPixel() {
  const UniqueScreenDc screen(GetDC(nullptr));
  return TwipsPerPixel(screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0);
}

}  // namespace tolvex
