// The screen's measures, as the window's design needs them.
#pragma once

namespace tolvex {

// Twips per screen pixel: 15 at 96 dpi.
int ScreenTwipsPerPixel();

}  // namespace tolvex
