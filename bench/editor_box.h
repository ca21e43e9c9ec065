// A text box made like Form1's editor: its styles, place, size and font, and
// no typing limit. Shared by the benchmarks and the floor program, so that
// the floor's text box costs what the editor costs.
#pragma once

#include <windows.h>

#include "app/editor_style.h"
#include "app/form1_layout.h"
#include "platform/screen.h"
#include "platform/units.h"

namespace tolvex::bench {

static_assert(kForm1Controls[0].id == kIdText, "the first control is the editor");

// The outer size of a window whose client area is Form1's.
inline SIZE Form1OuterSize() {
  const int tpp = ScreenTwipsPerPixel();
  RECT r{0, 0, TwipsToPixels(kClientWidthTwips, tpp), TwipsToPixels(kClientHeightTwips, tpp)};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}

inline HWND CreateEditorBox(HWND parent) {
  const PixelRect e = ToPixels(kForm1Controls[0], ScreenTwipsPerPixel());
  HWND edit = CreateWindowExW(kEditorExStyle, L"EDIT", L"", kEditorStyle, e.left, e.top, e.width,
                              e.height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!edit) return nullptr;
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  return edit;
}

}  // namespace tolvex::bench
