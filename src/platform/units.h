// Twips: the length unit of the window's design, 1/1440 inch.
#pragma once

namespace tolvex {

constexpr int kTwipsPerInch = 1440;

// 15 at 96 dpi; whole twips, as the window's design counts them, and never 0.
constexpr int TwipsPerPixel(int dots_per_inch) {
  if (dots_per_inch <= 0) return 15;
  return dots_per_inch >= kTwipsPerInch ? 1 : kTwipsPerInch / dots_per_inch;
}

// Rounds to the nearest pixel, halves away from zero.
int TwipsToPixels(double twips, int twips_per_pixel);

constexpr float PixelsToTwips(int pixels, int twips_per_pixel) {
  return static_cast<float>(pixels) * static_cast<float>(twips_per_pixel);
}

}  // namespace tolvex
