// Form1 from the outside: geometry, texts, keyboard, placement and exit.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/form1_layout.h"
#include "driver.h"

namespace tolvex {
namespace {

using namespace driver;

constexpr wchar_t kTitle[] = L"Quorvane Bulletrix 1.1.1";
constexpr wchar_t kInfo[] =
    L"The text window above has the same specifications as the news \r\n"
    L"window of Quorvane/Orbiquell. \r\n"
    L"Here you can write your news and be sure it will be displayed the \r\n"
    L"same way as you see it here.\r\n";

SIZE WindowSize(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// The window's frames as the system draws them, set before the program
// starts, with the outer sizes the window has while loading and after it.
struct Frames {
  const char* name;
  bool windows10;  // 1 px border + 4 px padding each side, 22 px caption
  SIZE loading, pinned;
};
const Frames kFrames[] = {
    {"Thin", false, {541, 517}, {540, 524}},
    {"Windows10", true, {549, 529}, {549, 529}},
};

class Form1FramesTest : public ::testing::TestWithParam<Frames> {
 protected:
  static constexpr wchar_t kMetrics[] = L"Control Panel\\Desktop\\WindowMetrics";
  struct Metric {
    const wchar_t* name;
    const wchar_t* twips;
  };
  static constexpr Metric kWindows10[] = {
      {L"BorderWidth", L"-15"},
      {L"PaddedBorderWidth", L"-60"},
      {L"CaptionHeight", L"-330"},
      {L"CaptionWidth", L"-330"},
  };

  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kMetrics, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
    if (!GetParam().windows10) return;
    for (const Metric& m : kWindows10) {
      const auto bytes = static_cast<DWORD>((wcslen(m.twips) + 1) * sizeof(wchar_t));
      ASSERT_EQ(RegSetValueExW(key_, m.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(m.twips),
                               bytes),
                ERROR_SUCCESS);
    }
  }
  void TearDown() override {
    for (const Metric& m : kWindows10) RegDeleteValueW(key_, m.name);
    RegCloseKey(key_);
  }

  HKEY key_ = nullptr;
};

TEST_P(Form1FramesTest, ControlsSitAtTheirDesignedPlacesInsideTheClientArea) {
  Target app;
  ASSERT_TRUE(app.form());
  // Pixels at 96 dpi: the designed twips divided by 15.
  const struct {
    int id;
    RECT rect;  // left, top, right, bottom
  } expected[] = {
      {kIdText, {5, 46, 527, 394}},      {kIdOpen, {8, 8, 161, 33}},
      {kIdSave, {370, 8, 523, 33}},      {kIdFrame2, {5, 400, 358, 485}},
      {kIdText1, {13, 416, 349, 476}},   {kIdClose, {368, 432, 521, 457}},
      {kIdImage1, {168, 8, 193, 33}},    {kIdImage2, {336, 8, 361, 33}},
  };
  RECT client{};
  GetClientRect(app.form(), &client);
  for (const auto& e : expected) {
    SCOPED_TRACE(e.id);
    HWND control = app.control(e.id);
    ASSERT_TRUE(control);
    const RECT r = ClientRectIn(control, app.form());
    EXPECT_EQ(r.left, e.rect.left);
    EXPECT_EQ(r.top, e.rect.top);
    EXPECT_EQ(r.right, e.rect.right);
    EXPECT_EQ(r.bottom, e.rect.bottom);
    EXPECT_LE(r.right, client.right) << "cut at the right";
    EXPECT_LE(r.bottom, client.bottom) << "cut at the bottom";
  }
  const SIZE outer = WindowSize(app.form());
  EXPECT_EQ(outer.cx, GetParam().pinned.cx);
  EXPECT_EQ(outer.cy, GetParam().pinned.cy);
}

// COM on this thread, for asking a control for its accessible object.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

// What a screen reader learns of a control through MSAA: from the object the
// control gives (`standard` false), or from the system's standard object for
// it made here, which is what the platform alone would say.
struct Accessible {
  bool found = false;
  std::wstring name;  // "(none)" when there is none
  LONG role = -1;
  LONG state = -1;
  std::wstring value;
  // What the object answers for other interfaces: the window IOleWindow
  // gives, and whether it serves IServiceProvider and IEnumVARIANT.
  HWND window = nullptr;
  bool serves = false;
  bool enumerates = false;
};
Accessible AccessibleOf(HWND control, bool standard) {
  Accessible seen;
  IAccessible* object = nullptr;
  const HRESULT made =
      standard ? CreateStdAccessibleObject(control, OBJID_CLIENT, __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&object))
               : AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object));
  if (FAILED(made) || !object) return seen;
  seen.found = true;
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  auto text = [](HRESULT result, BSTR got) {
    std::wstring t = result == S_OK && got ? std::wstring(got, SysStringLen(got)) : L"(none)";
    SysFreeString(got);
    return t;
  };
  BSTR got = nullptr;
  HRESULT result = object->get_accName(self, &got);
  seen.name = text(result, got);
  got = nullptr;
  result = object->get_accValue(self, &got);
  seen.value = text(result, got);
  VARIANT v;
  VariantInit(&v);
  if (object->get_accRole(self, &v) == S_OK && v.vt == VT_I4) seen.role = v.lVal;
  VariantClear(&v);
  if (object->get_accState(self, &v) == S_OK && v.vt == VT_I4) seen.state = v.lVal;
  VariantClear(&v);
  IOleWindow* window = nullptr;
  if (SUCCEEDED(object->QueryInterface(__uuidof(IOleWindow), reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&seen.window);
    window->Release();
  }
  auto answers = [&](REFIID iid) {
    IUnknown* other = nullptr;
    const bool answered = SUCCEEDED(object->QueryInterface(iid, reinterpret_cast<void**>(&other)));
    if (other) other->Release();
    return answered;
  };
  seen.serves = answers(__uuidof(IServiceProvider));
  seen.enumerates = answers(__uuidof(IEnumVARIANT));
  object->Release();
  return seen;
}

// Whether process `pid` has loaded the library `name` (such as L"oleacc.dll").
bool HasLoaded(DWORD pid, const wchar_t* name) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  if (!snapshot) return false;
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(snapshot.get(), &module); more;
       more = Module32NextW(snapshot.get(), &module)) {
    if (lstrcmpiW(module.szModule, name) == 0) return true;
  }
  return false;
}

TEST(Form1Test, TextsAndControlKinds) {
  Target app;
  const ComApartment com;
  // Start-up does not pay for screen readers before one asks.
  EXPECT_FALSE(HasLoaded(app.pid(), L"oleacc.dll"));
  EXPECT_EQ(WindowText(app.form()), kTitle);
  const struct {
    int id;
    const wchar_t* window_class;
    std::wstring_view text;
    const wchar_t* spoken;  // the name a screen reader hears
    bool named;  // by the program, through an object of its own
  } expected[] = {
      {kIdText, L"Edit", L"", L"News", true},
      {kIdOpen, L"Button", L"Load", L"Load", false},
      {kIdSave, L"Button", L"Save", L"Save", false},
      {kIdFrame2, L"Button", L"Info:", L"Info:", false},
      {kIdText1, L"Edit", kInfo, L"Info", true},
      {kIdClose, L"Button", L"Close", L"Close", false},
      {kIdImage1, L"Static", L"", L"Load", true},
      {kIdImage2, L"Static", L"", L"Save", true},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.id);
    HWND control = app.control(e.id);
    EXPECT_EQ(ClassOf(control), e.window_class);
    EXPECT_EQ(WindowText(control), e.text);
    // Only the name is the program's: role, state and value are the platform's.
    const Accessible heard = AccessibleOf(control, false);
    const Accessible platform = AccessibleOf(control, true);
    ASSERT_TRUE(heard.found && platform.found);
    EXPECT_EQ(heard.name, e.spoken);
    EXPECT_EQ(heard.role, platform.role);
    EXPECT_EQ(heard.state, platform.state);
    EXPECT_EQ(heard.value, platform.value);
    EXPECT_EQ(heard.window, control) << "IOleWindow gives the control";
    if (e.named) {
      // Nothing of the system's unnamed object: no IServiceProvider, by which
      // UI Automation would take it for the system's own proxy.
      EXPECT_FALSE(heard.serves);
      EXPECT_FALSE(heard.enumerates);
    }
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
  // A screen reader reads the news, in a box it calls editable text.
  app.SetText(kIdText, L"Server down at noon.\r\nBack at one.");
  const Accessible news = AccessibleOf(app.control(kIdText), false);
  EXPECT_EQ(news.role, ROLE_SYSTEM_TEXT);
  EXPECT_EQ(news.value, L"Server down at noon.\r\nBack at one.");
  EXPECT_EQ(news.name, L"News");
  EXPECT_TRUE(HasLoaded(app.pid(), L"oleacc.dll")) << "loaded once asked";
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
  // 30,000 characters in short lines: a single paragraph that long makes every
  // key cost seconds under Wine.
  std::wstring text;
  for (int i = 0; i < 3000; ++i) text += L"12345678\r\n";
  app.SetText(kIdText, text);
  SendMessageW(app.control(kIdText), EM_SETSEL, 30000, 30000);
  app.Activate();
  TypeText(L"abc");
  EXPECT_TRUE(WaitFor([&] { return TextLength(app.control(kIdText)) == 30003u; }, 120000))
      << "no typing cap at 30,000 characters: " << TextLength(app.control(kIdText));
  EXPECT_EQ(WindowText(app.form()), kTitle) << "typing changes nothing else";
}

// The first visible line of a text box, and where its first character stands
// from the left edge of its client area.
struct Scroll {
  LRESULT first_line;
  int first_x;
};
Scroll ScrollOf(HWND box) {
  const LRESULT at = SendMessageW(box, EM_POSFROMCHAR, 0, 0);
  return {SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), static_cast<short>(LOWORD(at))};
}

TEST(Form1Test, TabWalksTheTabOrderKeepingTheCaret) {
  Target app;
  app.Activate();
  app.SetText(kIdText, L"news of the day");
  SendMessageW(app.control(kIdText), EM_SETSEL, 5, 7);
  // The information text takes no part in the Tab order.
  const int forward[] = {kIdOpen, kIdSave, kIdClose, kIdText};
  for (int id : forward) {
    PressKey(VK_TAB);
    app.Sync();
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(id); }, 30000)) << id;
  }
  const int backward[] = {kIdClose, kIdSave, kIdOpen, kIdText};
  for (int id : backward) {
    PressKey(VK_TAB, /*shift=*/true);
    app.Sync();
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(id); }, 30000)) << id;
  }
  EXPECT_EQ(app.Text(kIdText), L"news of the day");
  DWORD start = 0, end = 0;
  SendMessageW(app.control(kIdText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 5u) << "Tab into the editor keeps its selection";
  EXPECT_EQ(end, 7u);

  // Neither Tab nor a click, End and Down scroll the information text away
  // from its first line and first column; the keys go to the editor.
  HWND info = app.control(kIdText1);
  EXPECT_EQ(ScrollOf(info).first_line, 0);
  EXPECT_EQ(ScrollOf(info).first_x, 0);
  RECT box{};
  GetWindowRect(info, &box);
  ClickAt({box.left + 100, box.top + 30});  // on the third, longest line
  app.Sync();
  PressKey(VK_END);
  for (int i = 0; i < 3; ++i) PressKey(VK_DOWN);  // to the empty fifth line
  TypeText(L"z");
  EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"news of the dayz"; }, 30000))
      << Narrow(app.Text(kIdText));
  EXPECT_EQ(ScrollOf(info).first_line, 0);
  EXPECT_EQ(ScrollOf(info).first_x, 0);
  EXPECT_NE(app.Focus(), info);
  EXPECT_EQ(app.Text(kIdText1), kInfo);
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

// Points at the "Info:" frame and returns the text of the tooltip that
// shows, "<none>" when none does.
std::wstring FrameToolTip(const Target& app) {
  RECT frame{};
  GetWindowRect(app.control(kIdFrame2), &frame);
  app.Activate();
  // Over the frame's caption row, where no other control lies.
  SetCursorPos(frame.left + 200, frame.top + 3);
  Sleep(50);
  SetCursorPos(frame.left + 202, frame.top + 4);
  HWND tip = nullptr;
  WaitFor(
      [&] {
        for (HWND h : TopWindows(app.pid(), TOOLTIPS_CLASSW)) {
          if (IsWindowVisible(h)) tip = h;
        }
        return tip != nullptr;
      },
      5000);
  return tip ? WindowText(tip) : L"<none>";
}

TEST(Form1Test, FrameShowsItsToolTip) {
  Target app;
  EXPECT_EQ(FrameToolTip(app), L"Made by Pemlark");
}

// How a key reaches the program: as real keyboard input to the focused
// control, or posted to a control (a Ctrl chord with Ctrl held down as real
// input meanwhile).
enum class Input { kRealKeys, kPosted };
const char* NameOf(Input input) { return input == Input::kRealKeys ? "real keys" : "posted"; }

// Gives a control the focus, as the window's keyboard interface does.
bool FocusControl(const Target& app, int id) {
  PostMessageW(app.form(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(app.control(id)), TRUE);
  return WaitFor([&] { return app.Focus() == app.control(id); }, 30000);
}

TEST(Form1Test, CtrlOAndCtrlSClickLoadAndSaveFromEveryControl) {
  const struct {
    int from;  // the control that has the focus
    WORD key;
    const wchar_t* dialog;  // the title of the dialog that opens
  } cases[] = {
      {kIdText, 'O', L"Open text file"},  {kIdText, 'S', L"Save text file"},
      {kIdOpen, 'O', L"Open text file"},  {kIdOpen, 'S', L"Save text file"},
      {kIdSave, 'O', L"Open text file"},  {kIdSave, 'S', L"Save text file"},
      {kIdClose, 'O', L"Open text file"}, {kIdClose, 'S', L"Save text file"},
  };
  // Real keys only: a key posted while Ctrl is held as real input races
  // Wine, which lets Ctrl go again when the window gets the X focus back.
  Target app;
  app.SetText(kIdText, L"news");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "Ctrl+" << static_cast<char>(c.key) << " from control "
                                    << c.from);
    app.Activate();
    ASSERT_TRUE(FocusControl(app, c.from));
    PressKey(c.key, /*shift=*/false, /*ctrl=*/true);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(WindowText(dialog), c.dialog);
    CancelDialog(dialog);
    ASSERT_TRUE(app.WaitForNoDialog());
    app.Sync();
    EXPECT_EQ(app.Text(kIdText), L"news");
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(c.from); }, 30000))
        << "the focus goes back where it was";
  }
  EXPECT_EQ(app.Text(kIdOpen), L"Load");
  EXPECT_EQ(app.Text(kIdSave), L"Save");
}

// The caret at the start of the editor's second line.
constexpr DWORD kLineTwo = MAXDWORD;

// What the editor does beyond the system's text box, each as one step that
// one Ctrl+Z takes back.
enum class Action { kCtrlBackspace, kCtrlH, kCtrlV, kShiftInsert, kMenuPaste };

void Perform(const Target& app, Action action, Input input) {
  HWND editor = app.control(kIdText);
  switch (action) {
    case Action::kCtrlBackspace:
      if (input == Input::kRealKeys) {
        PressKey(VK_BACK, /*shift=*/false, /*ctrl=*/true);
      } else {
        PostMessageW(editor, WM_CHAR, 0x7F, 1);
      }
      return;
    case Action::kCtrlH:  // the same character as Ctrl+Backspace
      PressKey('H', /*shift=*/false, /*ctrl=*/true);
      return;
    case Action::kCtrlV:
      PressKey('V', /*shift=*/false, /*ctrl=*/true);
      return;
    case Action::kShiftInsert:
      PressKey(VK_INSERT, /*shift=*/true);
      return;
    case Action::kMenuPaste: {
      // The text box's own context menu, and its Paste chosen by its key.
      RECT box{};
      GetWindowRect(editor, &box);
      PostMessageW(editor, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(editor),
                   MAKELPARAM(box.left + 40, box.top + 40));
      HWND menu = nullptr;
      WaitFor([&] {
        for (HWND h : TopWindows(app.pid(), L"#32768")) {
          if (IsWindowVisible(h)) menu = h;
        }
        return menu != nullptr;
      }, 30000);
      EXPECT_TRUE(menu) << "the context menu shows";
      PressKey('P');
      return;
    }
  }
}

TEST(Form1Test, EditorKeysAreOneUndoStep) {
  const std::wstring wrapped_word = std::wstring(300, L'x');
  std::wstring short_words;
  for (int i = 0; i < 60; ++i) short_words += L"news ";
  const wchar_t* const kMixedEnds = L"lf1\nlf2\rcr3\r\r\nend";
  const struct {
    const char* name;
    std::wstring text;
    DWORD start, end;  // the selection; the caret is at its end
    Action action;
    Input input;
    std::wstring removed;  // what goes, just before the caret
    const wchar_t* clipboard = nullptr;
    std::wstring put = L"";  // what comes in its place
    const wchar_t* typed = L"";  // the end of `text`, typed before the action
    bool read_only = false;
  } cases[] = {
      {"the last word", L"news of the day", 15, 15, Action::kCtrlBackspace, Input::kRealKeys, L"day"},
      {"the last word", L"news of the day", 15, 15, Action::kCtrlBackspace, Input::kPosted, L"day"},
      {"a word with the blanks after it", L"news of the day  ", 17, 17, Action::kCtrlBackspace,
       Input::kPosted, L"day  "},
      {"a word in the middle", L"news of the day", 7, 7, Action::kCtrlBackspace, Input::kRealKeys,
       L"of"},
      {"the line break alone, at a line's start", L"line one\r\nline two", 10, 10,
       Action::kCtrlBackspace, Input::kRealKeys, L"\r\n"},
      {"the blanks alone, after a line break", L"one\r\n   two", 8, 8, Action::kCtrlBackspace,
       Input::kPosted, L"   "},
      {"a selection, whatever it holds", L"news of the day", 5, 12, Action::kCtrlBackspace,
       Input::kPosted, L"of the "},
      {"a word wrapped in its middle", L"a " + wrapped_word, 302, 302, Action::kCtrlBackspace,
       Input::kRealKeys, wrapped_word},
      {"the caret at a wrapped line's start", short_words, kLineTwo, kLineTwo,
       Action::kCtrlBackspace, Input::kPosted, L"news "},
      // What the platform's text box does with it: under Wine nothing.
      {"Ctrl+H is not Ctrl+Backspace", L"news of the day", 15, 15, Action::kCtrlH, Input::kRealKeys, L""},
      {"a paste, every line end made CR LF", L"start ", 6, 6, Action::kCtrlV, Input::kRealKeys,
       L"", kMixedEnds, L"lf1\r\nlf2\r\ncr3\r\n\r\nend"},
      {"a paste by Shift+Insert", L"start ", 6, 6, Action::kShiftInsert, Input::kRealKeys, L"",
       kMixedEnds, L"lf1\r\nlf2\r\ncr3\r\n\r\nend"},
      {"a paste from the context menu", L"start ", 6, 6, Action::kMenuPaste, Input::kRealKeys,
       L"", kMixedEnds, L"lf1\r\nlf2\r\ncr3\r\n\r\nend"},
      {"a paste right after typing", L"start ", 6, 6, Action::kCtrlV, Input::kRealKeys, L"",
       L"a\rb", L"a\r\nb", L"art "},
      {"a paste in place of the selection", L"start OLD end", 6, 9, Action::kShiftInsert,
       Input::kRealKeys, L"OLD", L"\n", L"\r\n"},
      {"a paste with no text on the clipboard", L"start ", 6, 6, Action::kCtrlV, Input::kRealKeys,
       L"", nullptr, L""},
      {"a paste into the editor made read-only", L"start ", 6, 6, Action::kShiftInsert,
       Input::kRealKeys, L"", L"x", L"", L"", true},
  };
  Target app;
  HWND editor = app.control(kIdText);
  app.Activate();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << ", " << NameOf(c.input));
    const std::wstring typed(c.typed);
    app.SetText(kIdText, c.text.substr(0, c.text.size() - typed.size()));
    const DWORD line_two = static_cast<DWORD>(SendMessageW(editor, EM_LINEINDEX, 1, 0));
    const DWORD start = c.start == kLineTwo ? line_two : c.start;
    const DWORD end = c.end == kLineTwo ? line_two : c.end;
    ASSERT_EQ(c.text.substr(end - c.removed.size(), c.removed.size()), c.removed);
    const std::wstring after = c.text.substr(0, end - c.removed.size()) + c.put + c.text.substr(end);
    SendMessageW(editor, EM_SETSEL, start - typed.size(), end - typed.size());
    TypeText(typed);
    ASSERT_TRUE(WaitFor([&] { return app.Text(kIdText) == c.text; }, 30000));
    ASSERT_TRUE(SetClipboard(c.clipboard));
    SendMessageW(editor, EM_SETREADONLY, c.read_only, 0);
    Perform(app, c.action, c.input);
    app.Sync();
    if (after == c.text) {
      // Nothing to wait for: Home after it moves the caret once the keys are taken.
      PressKey(VK_HOME);
      EXPECT_TRUE(WaitFor([&] { return SendMessageW(editor, EM_GETSEL, 0, 0) == 0; }, 30000));
    }
    EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == after; }, 30000))
        << Narrow(app.Text(kIdText));
    SendMessageW(editor, EM_SETREADONLY, FALSE, 0);
    // Ctrl+Z, which the text box gets as the character 0x1A.
    if (c.input == Input::kRealKeys) {
      PressKey('Z', /*shift=*/false, /*ctrl=*/true);
    } else {
      PostMessageW(editor, WM_CHAR, 0x1A, 1);
    }
    EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == c.text; }, 30000))
        << "one Ctrl+Z brings it back: " << Narrow(app.Text(kIdText));
  }
}

// This test program's folder, where its build puts the planted libraries.
std::wstring PlantedBuildFolder() {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring self(path);
  return self.substr(0, self.find_last_of(L"\\/")) + L"\\planted";
}

// Has Wine look for comctl32, comdlg32 and oleacc in a program's own folder
// first, as Windows does for every library that is not one of its "known
// DLLs", for the programs named `exe` started while it lives. (WINEDLLOVERRIDES set in
// this process does not reach the programs it starts.)
class NativeLibrariesFirst {
 public:
  explicit NativeLibrariesFirst(const std::wstring& exe)
      : program_(L"Software\\Wine\\AppDefaults\\" + exe), overrides_(program_ + L"\\DllOverrides") {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, overrides_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return;
    }
    static constexpr wchar_t kOrder[] = L"native,builtin";
    for (const wchar_t* library : {L"comctl32", L"comdlg32", L"oleacc"}) {
      RegSetValueExW(key, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof kOrder);
    }
    RegCloseKey(key);
  }
  ~NativeLibrariesFirst() {
    RegDeleteKeyW(HKEY_CURRENT_USER, overrides_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, program_.c_str());
  }
  NativeLibrariesFirst(const NativeLibrariesFirst&) = delete;
  NativeLibrariesFirst& operator=(const NativeLibrariesFirst&) = delete;

 private:
  std::wstring program_;
  std::wstring overrides_;
};

TEST(Form1Test, NoLibraryPlantedBesideTheProgramRuns) {
  const std::wstring planted = PlantedBuildFolder();
  const std::wstring libraries[] = {L"comctl32.dll", L"comdlg32.dll", L"oleacc.dll"};
  const struct {
    const char* name;
    std::wstring exe;
    bool is_tolvex;
    bool marks;  // the planted libraries ran
  } cases[] = {
      {"a program that loads them by name", planted + L"\\planted_probe.exe", false, true},
      {"Tolvex, started, its tooltip shown, asked by a screen reader, its Open dialog shown",
       TargetPath(), true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring folder = FreshFolder(L"planted");
    const std::wstring name = c.exe.substr(c.exe.find_last_of(L"\\/") + 1);
    const std::wstring exe = folder + L"\\" + name;
    const NativeLibrariesFirst native_first(name);
    ASSERT_TRUE(CopyFileW(c.exe.c_str(), exe.c_str(), FALSE));
    for (const std::wstring& library : libraries) {
      ASSERT_TRUE(CopyFileW((planted + L"\\" + library).c_str(), (folder + L"\\" + library).c_str(),
                            FALSE));
    }
    if (c.is_tolvex) {
      Target app(folder, exe);
      ASSERT_TRUE(app.form());
      EXPECT_EQ(FrameToolTip(app), L"Made by Pemlark");
      const ComApartment com;
      EXPECT_EQ(AccessibleOf(app.control(kIdText), false).name, L"News");
      app.Click(kIdOpen);
      HWND dialog = app.WaitForDialog();
      EXPECT_TRUE(dialog);
      if (dialog) CancelDialog(dialog);
      EXPECT_TRUE(app.WaitForNoDialog());
    } else {
      const Launched probe = LaunchInJob(exe, L"", folder);
      ASSERT_TRUE(probe.process);
      EXPECT_EQ(WaitForSingleObject(probe.process.get(), 30000), WAIT_OBJECT_0);
    }
    for (const std::wstring& library : libraries) {
      EXPECT_EQ(FileExists(folder + L"\\" + library + L".loaded"), c.marks) << Narrow(library);
    }
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

TEST_P(Form1FramesTest, StartsCentredWithItsDesignedSize) {
  Target app;
  const SIZE loading = GetParam().loading;
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYSCREEN);
  RECT r{};
  GetWindowRect(app.form(), &r);
  EXPECT_EQ(r.left, std::lround((screen_width - loading.cx) / 2.0));
  EXPECT_EQ(r.top, std::lround((screen_height - loading.cy) / 2.0));
  const int right_margin = screen_width - (r.left + loading.cx);
  EXPECT_LE(std::abs(r.left - right_margin), 1);
  const int bottom_margin = screen_height - (r.top + loading.cy);
  EXPECT_LE(std::abs(r.top - bottom_margin), 1);
}

TEST_P(Form1FramesTest, SizeIsPinnedInTheNormalStateOnly) {
  Target app;
  HWND form = app.form();
  const SIZE pinned = GetParam().pinned;

  // Dragging a border: back to the pinned size; moving: never undone.
  SetWindowPos(form, nullptr, 0, 0, 700, 650, SWP_NOMOVE | SWP_NOZORDER);
  app.Sync();
  EXPECT_TRUE(WaitFor([&] { return WindowSize(form).cx == pinned.cx; }, 30000));
  EXPECT_EQ(WindowSize(form).cy, pinned.cy);
  // Dragging the top or the left border changes neither the size nor the
  // place.
  const struct {
    const char* border;
    POINT from, by;  // from: in the window, from its top left corner
  } drags[] = {{"top", {200, 2}, {0, 40}}, {"left", {2, 200}, {40, 0}}};
  for (const auto& d : drags) {
    app.Activate();
    RECT before{};
    GetWindowRect(form, &before);
    const POINT from{before.left + d.from.x, before.top + d.from.y};
    DragWithMouse(from, {from.x + d.by.x, from.y + d.by.y});
    // A key typed after the drag comes through once the drag is over.
    TypeText(L"d");
    EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"d"; }, 30000)) << d.border;
    app.SetText(kIdText, L"");
    RECT after{};
    GetWindowRect(form, &after);
    EXPECT_TRUE(EqualRect(&before, &after))
        << d.border << ": from " << before.left << "," << before.top << " "
        << before.right - before.left << "x" << before.bottom - before.top << " to " << after.left
        << "," << after.top << " " << after.right - after.left << "x" << after.bottom - after.top;
  }
  SetWindowPos(form, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  app.Sync();
  RECT moved{};
  GetWindowRect(form, &moved);
  EXPECT_EQ(moved.left, 10);
  EXPECT_EQ(moved.top, 20);

  // Maximised: fills the screen, controls stay at the top left.
  PostMessageW(form, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsZoomed(form) != FALSE; }, 30000));
  app.Sync();
  EXPECT_GT(WindowSize(form).cx, 900);
  const RECT editor = ClientRectIn(app.control(kIdText), form);
  EXPECT_EQ(editor.left, 5);
  EXPECT_EQ(editor.top, 46);
  EXPECT_EQ(editor.right - editor.left, 522);
  PostMessageW(form, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsZoomed(form); }, 30000));
  app.Sync();
  EXPECT_EQ(WindowSize(form).cx, pinned.cx);
  EXPECT_EQ(WindowSize(form).cy, pinned.cy);

  // Minimised and restored: no size change, and the focus goes back to the
  // control that had it last, not to the one that had it when the window was
  // last deactivated (Save, for its dialog).
  app.Activate();
  PressKey(VK_TAB);
  PressKey(VK_TAB);
  EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(kIdSave); }, 30000));
  PressKey(VK_RETURN);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(dialog);
  CancelDialog(dialog);
  EXPECT_TRUE(app.WaitForNoDialog());
  app.Activate();
  EXPECT_EQ(app.Focus(), app.control(kIdSave));
  RECT box{};
  GetWindowRect(app.control(kIdText), &box);
  ClickAt({box.left + 50, box.top + 50});
  EXPECT_TRUE(WaitFor([&] { return app.Focus() == app.control(kIdText); }, 30000));
  TypeText(L"x");
  EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"x"; }, 30000));
  PostMessageW(form, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(form) != FALSE; }, 30000));
  app.Sync();
  PostMessageW(form, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsIconic(form); }, 30000));
  app.Sync();
  EXPECT_EQ(WindowSize(form).cx, pinned.cx);
  EXPECT_EQ(WindowSize(form).cy, pinned.cy);
  EXPECT_EQ(app.Focus(), app.control(kIdText));
  app.Activate();
  TypeText(L"y");
  EXPECT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"xy"; }, 30000))
      << Narrow(app.Text(kIdText));
}

INSTANTIATE_TEST_SUITE_P(Frames, Form1FramesTest, ::testing::ValuesIn(kFrames),
                         [](const ::testing::TestParamInfo<Frames>& frames) {
                           return std::string(frames.param.name);
                         });

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
