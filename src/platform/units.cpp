#include "platform/units.h"

#include <cmath>

namespace tolvex {

int TwipsToPixels(double twips, int twips_per_pixel) {
  return static_cast<int>(std::lround(twips / twips_per_pixel));
}

}  // namespace tolvex
