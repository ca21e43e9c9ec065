#include "app/form1_layout.h"

#include <algorithm>

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

Size KeptOuterSize(int twips_per_pixel, const Size& frame) {
  Size extent{0, 0};  // the right and bottom edges of the controls
  for (const ControlDesign& c : kForm1Controls) {
    const PixelRect r = ToPixels(c, twips_per_pixel);
    extent.width = std::max(extent.width, r.left + r.width);
    extent.height = std::max(extent.height, r.top + r.height);
  }
  const Size pinned{TwipsToPixels(kPinnedWidthTwips, twips_per_pixel),
                    TwipsToPixels(kPinnedHeightTwips, twips_per_pixel)};
  if (pinned.width - frame.width >= extent.width && pinned.height - frame.height >= extent.height) {
    return pinned;
  }
  return {TwipsToPixels(kClientWidthTwips, twips_per_pixel) + frame.width,
          TwipsToPixels(kClientHeightTwips, twips_per_pixel) + frame.height};
}

bool PinnedSize(WindowState state, const Size& keep, const Size& current, Size& pinned) {
  if (state != WindowState::kNormal) return false;
  pinned = keep;
  return pinned.width != current.width || pinned.height != current.height;
}

}  // namespace tolvex
