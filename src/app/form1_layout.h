// The design of the main window Form1: its sizes and every control, in twips,
// and the arithmetic of its placement. Nothing here needs the window system.
#pragma once

#include <array>
#include <string_view>

namespace tolvex {

constexpr int kClientWidthTwips = 8000;
constexpr int kClientHeightTwips = 7350;
// The outer size the window keeps in the normal state, where the client area
// it leaves holds every control.
constexpr int kPinnedWidthTwips = 8100;
constexpr int kPinnedHeightTwips = 7860;

constexpr std::wstring_view kForm1Title = L"Quorvane Bulletrix 1.1.1";
constexpr std::wstring_view kFrameToolTip = L"Made by Pemlark";
constexpr std::wstring_view kInfoText =
    L"The text window above has the same specifications as the news \r\n"
    L"window of Quorvane/Orbiquell. \r\n"
    L"Here you can write your news and be sure it will be displayed the \r\n"
    L"same way as you see it here.\r\n";

enum class ControlKind { kPushButton, kPicture, kEditor, kGroupBox, kInfoBox };

// Control ids stay clear of IDOK and IDCANCEL, which the dialog keyboard
// interface sends on Enter and Esc.
enum ControlId : int {
  kIdText = 100,
  kIdOpen = 101,
  kIdSave = 102,
  kIdFrame2 = 103,
  kIdText1 = 104,
  kIdClose = 105,
  kIdImage1 = 106,
  kIdImage2 = 107,
};

struct ControlDesign {
  ControlId id;
  std::wstring_view name;
  ControlKind kind;
  int left, top, width, height;  // twips, in Form1's client area
  int tab_index;                 // -1: not in the tab order
  std::wstring_view text;
};

// In tab order, which is also the order of creation: the keyboard walks the
// controls in the order they were created. Text1 sits in Frame2 at 120, 240.
constexpr std::array<ControlDesign, 8> kForm1Controls{{
    {kIdText, L"Text", ControlKind::kEditor, 75, 690, 7830, 5220, 0, L""},
    {kIdOpen, L"cmd_Open", ControlKind::kPushButton, 120, 120, 2295, 375, 1, L"Load"},
    {kIdSave, L"cmd_Save", ControlKind::kPushButton, 5550, 120, 2295, 375, 2, L"Save"},
    {kIdFrame2, L"Frame2", ControlKind::kGroupBox, 75, 6000, 5295, 1275, 3, L"Info:"},
    {kIdText1, L"Text1", ControlKind::kInfoBox, 75 + 120, 6000 + 240, 5040, 900, 4, kInfoText},
    {kIdClose, L"cmd_Close", ControlKind::kPushButton, 5520, 6480, 2295, 375, 5, L"Close"},
    {kIdImage1, L"Image1", ControlKind::kPicture, 2520, 120, 375, 375, -1, L""},
    {kIdImage2, L"Image2", ControlKind::kPicture, 5040, 120, 375, 375, -1, L""},
}};

struct PixelRect {
  int left, top, width, height;
  bool operator==(const PixelRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

PixelRect ToPixels(const ControlDesign& control, int twips_per_pixel);

// Where a window of the given outer size stands centred on the screen (twips,
// unrounded; negative when the window is larger than the screen).
struct Origin {
  float left, top;
};
Origin CentreOrigin(float screen_width, float screen_height, float window_width,
                    float window_height);

// The window state as the resize handler sees it.
enum class WindowState { kNormal = 0, kMinimised = 1, kMaximised = 2 };

struct Size {
  int width, height;
};

// The outer size the window keeps in the normal state, in pixels. `frame` is
// what the window's borders and caption add to its client area. The designed
// 8100 x 7860 twips date from thinner frames: where the client area they leave
// would cut a control (the thicker frames of later systems), the window keeps
// the outer size whose client area is the designed one instead.
Size KeptOuterSize(int twips_per_pixel, const Size& frame);

// The outer size the window must be given after a resize, if any: `keep`
// in the normal state when it has another size, nothing otherwise.
bool PinnedSize(WindowState state, const Size& keep, const Size& current, Size& pinned);

}  // namespace tolvex
