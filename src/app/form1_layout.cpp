#include "app/form1_layout.h"

#include "platform/units.h"

namespace tolvex {

PixelRect ToPixels(const ControlDesign& control, int twips_per_pixel) {
  return {TwipsToPixels(control.left, twips_per_pixel), TwipsToPixels(control.top, twips_per_pixel),
          TwipsToPixels(control.width, twips_per_pixel),
          TwipsToPixels(control.height, twips_per_pixel)};
}

Origin CentreOrigin(float screen_width, float screen_height, float window_width,
                    float window_height) {
  return {(screen_width - window_width) / 2.0f, (screen_height - window_height) / 2.0f};
}

bool PinnedSize(WindowState state, int twips_per_pixel, const Size& current, Size& pinned) {
  if (state != WindowState::kNormal) return false;
  pinned = {TwipsToPixels(kPinnedWidthTwips, twips_per_pixel),
            TwipsToPixels(kPinnedHeightTwips, twips_per_pixel)};
  return pinned.width != current.width || pinned.height != current.height;
}

}  // namespace tolvex
