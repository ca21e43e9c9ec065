// Form1 from the outside: geometry, texts, keyboard, placement and exit.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "app/form1_layout.h"
#include "driver.h"
#include "platform/units.h"

namespace tolvex {
namespace {

using namespace driver;

constexpr int kPinnedWidth = 540;
constexpr int kPinnedHeight = 524;

SIZE WindowSize(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

TEST(Form1Test, ControlsSitAtTheirDesignedPlaces) {
  Target app;
  ASSERT_TRUE(app.form());
  for (const ControlDesign& design : kForm1Controls) {
    SCOPED_TRACE(Narrow(std::wstring(design.name)));
    HWND control = app.control(design.id);
    ASSERT_TRUE(control);
    const RECT r = ClientRectIn(control, app.form());
    const PixelRect expected = ToPixels(design, 15);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right - r.left, expected.width);
    EXPECT_EQ(r.bottom - r.top, expected.height);
  }
  const SIZE outer = WindowSize(app.form());
  EXPECT_EQ(outer.cx, kPinnedWidth);
  EXPECT_EQ(outer.cy, kPinnedHeight);
}

TEST(Form1Test, TextsAndControlKinds) {
  Target app;
  EXPECT_EQ(WindowText(app.form()), kForm1Title);
  const struct {
    int id;
    const wchar_t* window_class;
    std::wstring_view text;
  } expected[] = {
      {kIdText, L"Edit", L""},        {kIdOpen, L"Button", L"Load"},
      {kIdSave, L"Button", L"Save"},  {kIdFrame2, L"Button", L"Info:"},
      {kIdText1, L"Edit", kInfoText}, {kIdClose, L"Button", L"Close"},
      {kIdImage1, L"Static", L""},    {kIdImage2, L"Static", L""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.id);
    HWND control = app.control(e.id);
    EXPECT_EQ(ClassOf(control), e.window_class);
    EXPECT_EQ(WindowText(control), e.text);
  }
  const LONG editor = GetWindowLongW(app.control(kIdText), GWL_STYLE);
  EXPECT_TRUE(editor & ES_MULTILINE);
  EXPECT_TRUE(editor & WS_VSCROLL);
  EXPECT_FALSE(editor & WS_HSCROLL) << "lines wrap instead of scrolling sideways";
  EXPECT_FALSE(editor & ES_AUTOHSCROLL);
  EXPECT_FALSE(editor & ES_READONLY);
  EXPECT_TRUE(GetWindowLongW(app.control(kIdText1), GWL_STYLE) & ES_READONLY);
  for (int picture : {kIdImage1, kIdImage2}) {
    EXPECT_TRUE(SendMessageW(app.control(picture), STM_GETIMAGE, IMAGE_BITMAP, 0)) << picture;
  }
}

// Where a text box of the editor's size and styles, in `font`, breaks `text`.
std::vector<LRESULT> LineStarts(HWND editor) {
  std::vector<LRESULT> starts;
  const LRESULT lines = SendMessageW(editor, EM_GETLINECOUNT, 0, 0);
  for (LRESULT i = 0; i < lines; ++i) starts.push_back(SendMessageW(editor, EM_LINEINDEX, i, 0));
  return starts;
}

TEST(Form1Test, EditorWrapsInTheDefaultGuiFont) {
  Target app;
  std::wstring text;
  for (int i = 0; i < 12; ++i) text += L"The quick brown fox jumps over the lazy dog, news of the day. ";
  app.SetText(kIdText, text);
  const std::vector<LRESULT> seen = LineStarts(app.control(kIdText));

  const LONG style = GetWindowLongW(app.control(kIdText), GWL_STYLE);
  const LONG ex_style = GetWindowLongW(app.control(kIdText), GWL_EXSTYLE);
  auto wrapped_in = [&](HGDIOBJ font) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 600, 600, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND edit = CreateWindowExW(ex_style, L"EDIT", L"", (style & ~WS_VISIBLE) | WS_CHILD, 5, 46,
                                522, 348, parent, nullptr, nullptr, nullptr);
    if (font) SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowTextW(edit, text.c_str());
    const std::vector<LRESULT> starts = LineStarts(edit);
    DestroyWindow(parent);
    return starts;
  };
  EXPECT_GT(seen.size(), 5u) << "long text wraps";
  EXPECT_EQ(seen, wrapped_in(GetStockObject(DEFAULT_GUI_FONT)));
  EXPECT_NE(seen, wrapped_in(nullptr)) << "the system font would wrap elsewhere";
}

TEST(Form1Test, EditorStartsEmptyWithTheFocusAndTakesLongText) {
  Target app;
  EXPECT_EQ(app.Focus(), app.control(kIdText));
  EXPECT_EQ(app.Text(kIdText), L"");
  app.SetText(kIdText, std::wstring(30000, L'x'));
  app.Activate();
  TypeText(L"abc");
  EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText).size() == 30003u; }, 5000))
      << "no typing cap at 30,000 characters: " << app.Text(kIdText).size();
  EXPECT_EQ(WindowText(app.form()), kForm1Title) << "typing changes nothing else";
}

TEST(Form1Test, TabWalksTheTabOrderWithoutTypingTabs) {
  Target app;
  app.Activate();
  app.SetText(kIdText, L"news");
  const int forward[] = {kIdOpen, kIdSave, kIdText1, kIdClose, kIdText};
  for (int id : forward) {
    PressKey(VK_TAB);
    app.Sync();
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(id); }, 2000)) << id;
  }
  const int backward[] = {kIdClose, kIdText1, kIdSave, kIdOpen, kIdText};
  for (int id : backward) {
    PressKey(VK_TAB, /*shift=*/true);
    app.Sync();
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(id); }, 2000)) << id;
  }
  EXPECT_EQ(app.Text(kIdText), L"news");
}

TEST(Form1Test, EnterBreaksTheLineAndEscapeKeepsTheWindow) {
  Target app;
  app.Activate();
  TypeText(L"a");
  PressKey(VK_RETURN);
  TypeText(L"b");
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"a\r\nb"; }, 5000))
      << Narrow(app.Text(kIdText));
  PressKey(VK_TAB);  // to the Load button: Esc there must not close either
  EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(kIdOpen); }, 5000));
  PressKey(VK_ESCAPE);
  Sleep(300);
  app.Sync();
  EXPECT_EQ(app.WaitForExit(0), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(IsWindowVisible(app.form()));
  EXPECT_EQ(app.Text(kIdText), L"a\r\nb");
}

TEST(Form1Test, CtrlASelectsAllAndEnterClicksTheFocusedButton) {
  Target app;
  app.SetText(kIdText, L"select me");
  app.Activate();
  PressKey('A', /*shift=*/false, /*ctrl=*/true);
  DWORD start = 1, end = 0;
  EXPECT_TRUE(WaitFor([&] {
    SendMessageW(app.control(kIdText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return start == 0 && end == 9;
  }, 3000)) << start << "-" << end;
  EXPECT_EQ(app.Text(kIdText), L"select me");
  PressKey(VK_TAB, /*shift=*/true);  // back from the editor to Close
  EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(kIdClose); }, 3000));
  PressKey(VK_RETURN);
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(Form1Test, FrameShowsItsToolTip) {
  Target app;
  RECT frame{};
  GetWindowRect(app.control(kIdFrame2), &frame);
  app.Activate();
  // Over the frame's caption row, where no other control lies.
  SetCursorPos(frame.left + 200, frame.top + 3);
  Sleep(50);
  SetCursorPos(frame.left + 202, frame.top + 4);
  HWND tip = nullptr;
  EXPECT_TRUE(WaitFor(
      [&] {
        for (HWND h : TopWindows(app.pid(), TOOLTIPS_CLASSW)) {
          if (IsWindowVisible(h)) tip = h;
        }
        return tip != nullptr;
      },
      5000));
  if (tip) {
    EXPECT_EQ(WindowText(tip), kFrameToolTip);
  }
}

TEST(Form1Test, VersionBlockAndIcon) {
  const std::wstring exe = TargetPath();
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  const struct {
    const wchar_t* field;
    const wchar_t* value;
  } fields[] = {
      {L"ProductName", L"Tolvex"},
      {L"FileDescription", L"Tool for creating news for Orbiquell"},
      {L"InternalName", L"Tolvex111"},
      {L"OriginalFilename", L"Tolvex111.exe"},
      {L"FileVersion", L"1.01.0001"},
      {L"ProductVersion", L"1.01.0001"},
  };
  for (const auto& f : fields) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040704B0\\") + f.field;
    ASSERT_TRUE(VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        << Narrow(f.field);
    EXPECT_STREQ(value, f.value);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(translation[0], 0x0407);
  EXPECT_EQ(translation[1], 1200);

  // One icon image: 32 x 32 pixels, 16 colours.
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_TRUE(group);
  const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
  const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  EXPECT_EQ(count, 1);
  const BYTE* entry = dir + 6;  // width, height, colours, reserved, planes, bit count, ...
  EXPECT_EQ(entry[0], 32);
  EXPECT_EQ(entry[1], 32);
  EXPECT_EQ(entry[2], 16);
  EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 4);
  FreeLibrary(module);
}

TEST(Form1Test, StartsCentredWithItsDesignedSize) {
  Target app;
  RECT design{0, 0, TwipsToPixels(kClientWidthTwips, 15), TwipsToPixels(kClientHeightTwips, 15)};
  AdjustWindowRectEx(&design, WS_OVERLAPPEDWINDOW, FALSE, 0);
  const float w = PixelsToTwips(design.right - design.left, 15);
  const float h = PixelsToTwips(design.bottom - design.top, 15);
  const Origin o = CentreOrigin(PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), 15),
                                PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), 15), w, h);
  RECT r{};
  GetWindowRect(app.form(), &r);
  EXPECT_EQ(r.left, TwipsToPixels(o.left, 15));
  EXPECT_EQ(r.top, TwipsToPixels(o.top, 15));
  const int left_margin = r.left;
  const int right_margin = GetSystemMetrics(SM_CXSCREEN) - (r.left + design.right - design.left);
  EXPECT_LE(std::abs(left_margin - right_margin), 1);
}

TEST(Form1Test, SizeIsPinnedInTheNormalStateOnly) {
  Target app;
  HWND form = app.form();
  RECT start{};
  GetWindowRect(form, &start);

  // Dragging a border: back to the pinned size; moving: never undone.
  SetWindowPos(form, nullptr, 0, 0, 700, 650, SWP_NOMOVE | SWP_NOZORDER);
  app.Sync();
  EXPECT_TRUE(WaitFor([&] { return WindowSize(form).cx == kPinnedWidth; }, 3000));
  EXPECT_EQ(WindowSize(form).cy, kPinnedHeight);
  SetWindowPos(form, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  app.Sync();
  RECT moved{};
  GetWindowRect(form, &moved);
  EXPECT_EQ(moved.left, 10);
  EXPECT_EQ(moved.top, 20);

  // Maximised: fills the screen, controls stay at the top left.
  PostMessageW(form, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsZoomed(form) != FALSE; }, 3000));
  app.Sync();
  EXPECT_GT(WindowSize(form).cx, 900);
  const RECT editor = ClientRectIn(app.control(kIdText), form);
  EXPECT_EQ(editor.left, 5);
  EXPECT_EQ(editor.top, 46);
  EXPECT_EQ(editor.right - editor.left, 522);
  PostMessageW(form, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsZoomed(form); }, 3000));
  app.Sync();
  EXPECT_EQ(WindowSize(form).cx, kPinnedWidth);
  EXPECT_EQ(WindowSize(form).cy, kPinnedHeight);

  // Minimised and restored: no size change.
  PostMessageW(form, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(form) != FALSE; }, 3000));
  app.Sync();
  PostMessageW(form, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsIconic(form); }, 3000));
  app.Sync();
  EXPECT_EQ(WindowSize(form).cx, kPinnedWidth);
  EXPECT_EQ(WindowSize(form).cy, kPinnedHeight);
}

TEST(Form1Test, CloseEndsTheProgramWithoutAsking) {
  {
    Target app;
    app.SetText(kIdText, L"unsaved news");
    app.Click(kIdClose);
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
  {
    Target app;
    app.SetText(kIdText, L"unsaved news");
    PostMessageW(app.form(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
}

}  // namespace
}  // namespace tolvex
