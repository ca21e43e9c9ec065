#include "app/form1_layout.h"

#include <gtest/gtest.h>

#include "platform/units.h"

namespace tolvex {
namespace {

TEST(Form1LayoutTest, ControlsInPixelsAt96Dpi) {
  const struct {
    ControlId id;
    PixelRect rect;
  } expected[] = {
      {kIdText, {5, 46, 522, 348}},     {kIdOpen, {8, 8, 153, 25}},
      {kIdSave, {370, 8, 153, 25}},     {kIdFrame2, {5, 400, 353, 85}},
      {kIdText1, {13, 416, 336, 60}},   {kIdClose, {368, 432, 153, 25}},
      {kIdImage1, {168, 8, 25, 25}},    {kIdImage2, {336, 8, 25, 25}},
  };
  ASSERT_EQ(std::size(expected), kForm1Controls.size());
  for (const auto& e : expected) {
    const auto it = std::find_if(kForm1Controls.begin(), kForm1Controls.end(),
                                 [&](const ControlDesign& c) { return c.id == e.id; });
    ASSERT_NE(it, kForm1Controls.end());
    EXPECT_EQ(ToPixels(*it, 15), e.rect) << std::string(it->name.begin(), it->name.end());
  }
}

TEST(Form1LayoutTest, CreationOrderIsTabOrder) {
  int next = 0;
  for (const ControlDesign& c : kForm1Controls) {
    if (c.tab_index < 0) continue;
    EXPECT_EQ(c.tab_index, next++);
  }
  EXPECT_EQ(next, 6);
}

TEST(Form1LayoutTest, TextsAreTheDesignedLiterals) {
  EXPECT_EQ(kForm1Title, L"Quorvane Bulletrix 1.1.1");
  EXPECT_EQ(kFrameToolTip, L"Made by Pemlark");
  const std::wstring_view info =
      L"The text window above has the same specifications as the news \r\n"
      L"window of Quorvane/Orbiquell. \r\n"
      L"Here you can write your news and be sure it will be displayed the \r\n"
      L"same way as you see it here.\r\n";
  EXPECT_EQ(info.size(), 194u);
  EXPECT_EQ(kInfoText, info);
  const struct {
    ControlId id;
    std::wstring_view text;
  } captions[] = {
      {kIdOpen, L"Load"}, {kIdSave, L"Save"}, {kIdFrame2, L"Info:"}, {kIdClose, L"Close"},
  };
  for (const auto& c : captions) {
    const auto it = std::find_if(kForm1Controls.begin(), kForm1Controls.end(),
                                 [&](const ControlDesign& d) { return d.id == c.id; });
    ASSERT_NE(it, kForm1Controls.end());
    EXPECT_EQ(it->text, c.text);
  }
}

TEST(Form1LayoutTest, TwipConversions) {
  EXPECT_EQ(TwipsPerPixel(96), 15);
  EXPECT_EQ(TwipsPerPixel(120), 12);
  EXPECT_EQ(TwipsPerPixel(0), 15);
  EXPECT_EQ(TwipsPerPixel(1440), 1);
  EXPECT_EQ(TwipsPerPixel(2880), 1) << "never 0, which the window's arithmetic divides by";
  EXPECT_EQ(TwipsToPixels(8000, 15), 533);
  EXPECT_EQ(TwipsToPixels(7.5, 15), 1);
  EXPECT_EQ(TwipsToPixels(-7.5, 15), -1);
  EXPECT_FLOAT_EQ(PixelsToTwips(541, 15), 8115.0f);
}

TEST(Form1LayoutTest, CentreOriginIsUnroundedAndUnclamped) {
  const struct {
    float sw, sh, ww, wh, left, top;
  } cases[] = {
      {15360, 11520, 8115, 7755, 3622.5f, 1882.5f},  // 1024 x 768, designed size
      {8000, 6000, 8100, 7860, -50, -930},           // larger than the screen
      {8100, 7860, 8100, 7860, 0, 0},
  };
  for (const auto& c : cases) {
    const Origin o = CentreOrigin(c.sw, c.sh, c.ww, c.wh);
    EXPECT_FLOAT_EQ(o.left, c.left);
    EXPECT_FLOAT_EQ(o.top, c.top);
  }
}

TEST(Form1LayoutTest, PinnedOnlyInTheNormalState) {
  const struct {
    WindowState state;
    Size current;
    bool pin;
  } cases[] = {
      {WindowState::kNormal, {600, 600}, true},
      {WindowState::kNormal, {540, 524}, false},
      {WindowState::kNormal, {540, 500}, true},
      {WindowState::kMinimised, {160, 24}, false},
      {WindowState::kMaximised, {1032, 776}, false},
  };
  for (const auto& c : cases) {
    Size pinned{};
    EXPECT_EQ(PinnedSize(c.state, {540, 524}, c.current, pinned), c.pin);
    if (c.pin) {
      EXPECT_EQ(pinned.width, 540);
      EXPECT_EQ(pinned.height, 524);
    }
  }
}

// The editor's right edge is at 527 pixels and the frame's bottom at 485: the
// designed 540 x 524 holds them inside thin frames only.
TEST(Form1LayoutTest, KeptOuterSizeNeverCutsAControl) {
  const struct {
    const char* frames;
    int twips_per_pixel;
    Size frame, kept;
  } cases[] = {
      {"Wine's", 15, {8, 27}, {540, 524}},
      {"classic, 18 px caption", 15, {8, 26}, {540, 524}},
      {"Luna", 15, {8, 34}, {540, 524}},
      {"exactly fitting", 15, {13, 39}, {540, 524}},
      {"Windows 10", 15, {16, 39}, {549, 529}},
      {"one pixel too wide", 15, {14, 27}, {547, 517}},
      {"one pixel too tall", 15, {8, 40}, {541, 530}},
      {"Windows 10 at 120 dpi, fitting", 12, {16, 39}, {675, 655}},
      {"one pixel too wide at 120 dpi", 12, {17, 39}, {684, 652}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frames);
    const Size kept = KeptOuterSize(c.twips_per_pixel, c.frame);
    EXPECT_EQ(kept.width, c.kept.width);
    EXPECT_EQ(kept.height, c.kept.height);
  }
}

}  // namespace
}  // namespace tolvex
