#include "app/form1.h"

#include <commctrl.h>

#include <array>
#include <new>
#include <string>

#include "resource.h"
#include "app/editor_style.h"
#include "app/form1_layout.h"
#include "news/news_commands.h"
#include "news/news_text_file.h"
#include "platform/accessible_name.h"
#include "platform/common_dialog.h"
#include "platform/editor.h"
#include "platform/file_slots.h"
#include "platform/screen.h"
#include "platform/system_code_page.h"
#include "platform/system_library.h"
#include "platform/unique_handle.h"
#include "platform/units.h"
#include "platform/win32_file_system.h"

namespace tolvex {
namespace {

constexpr wchar_t kClassName[] = L"TolvexForm1";
constexpr UINT_PTR kFrameToolId = 1;
static_assert(IDC_KEY_LOAD == kIdOpen && IDC_KEY_SAVE == kIdSave,
              "the keys' commands are the buttons' clicks");

}  // namespace

struct Form1 {
  HWND hwnd = nullptr;
  int twips_per_pixel = 15;
  std::array<HWND, kForm1Controls.size()> controls{};
  HWND Text = nullptr;
  HWND focus = nullptr;  // the control that had the focus last
  bool loaded = false;   // the load handler has run; resizes are pinned from then on
  UniqueGdiObject pictures[2];
  CommonDialog Dialog1;
  Win32FileSystem file_system;
  FileSlots slots{file_system};
};

void Form1Deleter::operator()(Form1* form) const { delete form; }

Form1State NewForm1State() { return Form1State(new Form1); }

namespace {

Form1* FormOf(HWND hwnd) { return reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// The window procedure a control had before ControlProc took it over; kept in
// the control's own user data, which the system's controls leave to programs.
WNDPROC BaseProcOf(HWND control) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_USERDATA));
}

// What a screen reader calls the controls that show no caption of their own;
// nullptr for those it names by their captions.
const wchar_t* SpokenNameOf(int id) {
  switch (id) {
    case kIdText: return L"News";
    case kIdText1: return L"Info";
    case kIdImage1: return L"Load";
    case kIdImage2: return L"Save";
    default: return nullptr;
  }
}

// What the window adds to the system's text boxes, buttons and pictures:
// - it notes every control that takes the focus, to give it back when the
//   window is restored or activated again;
// - the information text takes no focus and lets the mouse through to the
//   window, so no click, key or wheel scrolls it away from its first line;
// - the editor does what platform/editor.h says, a paste putting the text in
//   with the news file's line ends;
// - a screen reader hears a name for the editor, the information text and the
//   pictures (platform/accessible_name.h).
LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  const WNDPROC base = BaseProcOf(control);
  const bool info = GetDlgCtrlID(control) == kIdText1;
  LRESULT result = 0;
  if (GetDlgCtrlID(control) == kIdText &&
      HandleEditorMessage(control, base, message, wparam, lparam, WithNewsLineEnds, result)) {
    return result;
  }
  switch (message) {
    case WM_SETFOCUS:
      if (Form1* form = FormOf(GetParent(control))) {
        if (info) {
          SetFocus(form->focus);
          return 0;
        }
        form->focus = control;
      }
      break;
    case WM_NCHITTEST:
      if (info) return HTTRANSPARENT;
      break;
    case WM_GETOBJECT:
      if (const wchar_t* name = SpokenNameOf(GetDlgCtrlID(control))) {
        LRESULT answer = 0;
        if (AnswerWithAccessibleName(control, wparam, lparam, name, answer)) return answer;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(base, control, message, wparam, lparam);
}

void Subclass(HWND control) {
  SetWindowLongPtrW(control, GWLP_USERDATA, GetWindowLongPtrW(control, GWLP_WNDPROC));
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
}

HWND CreateControl(Form1& form, const ControlDesign& design, HINSTANCE instance) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP;
  DWORD ex_style = 0;
  const wchar_t* window_class = L"BUTTON";
  switch (design.kind) {
    case ControlKind::kPushButton:
      style |= WS_TABSTOP | BS_PUSHBUTTON;
      break;
    case ControlKind::kGroupBox:
      style |= BS_GROUPBOX;
      break;
    case ControlKind::kPicture:
      window_class = L"STATIC";
      style |= SS_BITMAP;
      break;
    case ControlKind::kEditor:
      window_class = L"EDIT";
      style = kEditorStyle;
      ex_style = kEditorExStyle;
      break;
    case ControlKind::kInfoBox:
      window_class = L"EDIT";
      // Not in the Tab order. Its lines are ended by hand; a face wider than
      // the designed one clips them at the right instead of pushing the last
      // line out of the box.
      style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL;
      break;
  }
  const PixelRect r = ToPixels(design, form.twips_per_pixel);
  const std::wstring text(design.text);
  HWND control = CreateWindowExW(ex_style, window_class, text.c_str(), style, r.left, r.top,
                                 r.width, r.height, form.hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
                                 instance, nullptr);
  if (!control) return nullptr;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  if (design.kind != ControlKind::kGroupBox) Subclass(control);
  return control;
}

void SetPicture(Form1& form, HWND picture, int slot, int resource, HINSTANCE instance) {
  form.pictures[slot].reset(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0,
                                       LR_DEFAULTCOLOR));
  SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(form.pictures[slot].get()));
}

// The frame's tooltip: a group box lets the mouse through to its parent, so
// the tool is the frame's rectangle on the window itself.
void AddFrameToolTip(Form1& form, HINSTANCE instance) {
  HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form.hwnd, nullptr,
                                 instance, nullptr);
  if (!tooltip) return;
  const ControlDesign* frame = nullptr;
  for (const ControlDesign& c : kForm1Controls) {
    if (c.id == kIdFrame2) frame = &c;
  }
  const PixelRect r = ToPixels(*frame, form.twips_per_pixel);
  std::wstring text(kFrameToolTip);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = form.hwnd;
  tool.uId = kFrameToolId;
  tool.rect = {r.left, r.top, r.left + r.width, r.top + r.height};
  tool.hinst = instance;
  tool.lpszText = text.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool CreateControls(Form1& form, HINSTANCE instance) {
  form.twips_per_pixel = ScreenTwipsPerPixel();
  for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
    form.controls[i] = CreateControl(form, kForm1Controls[i], instance);
    if (!form.controls[i]) return false;
    switch (kForm1Controls[i].id) {
      case kIdText1:
        // The information text fills its box to the edges.
        SendMessageW(form.controls[i], EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        break;
      case kIdText:
        form.Text = form.controls[i];
        SetUpEditor(form.Text);
        break;
      case kIdImage1:
        SetPicture(form, form.controls[i], 0, IDB_OPEN_FOLDER, instance);
        break;
      case kIdImage2:
        SetPicture(form, form.controls[i], 1, IDB_FLOPPY, instance);
        break;
      default:
        break;
    }
  }
  form.focus = form.Text;
  AddFrameToolTip(form, instance);
  return true;
}

// Puts the window in the middle of the screen, with the outer size it has
// while loading. The top is set before the left.
void CentreWindow(Form1& form) {
  RECT r{};
  GetWindowRect(form.hwnd, &r);
  const int tpp = form.twips_per_pixel;
  const Origin origin = CentreOrigin(PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), tpp),
                                     PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), tpp),
                                     PixelsToTwips(r.right - r.left, tpp),
                                     PixelsToTwips(r.bottom - r.top, tpp));
  const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
  const int top = TwipsToPixels(origin.top, tpp);
  SetWindowPos(form.hwnd, nullptr, r.left, top, 0, 0, flags);
  SetWindowPos(form.hwnd, nullptr, TwipsToPixels(origin.left, tpp), top, 0, 0, flags);
}

// What the window's borders and caption add to its client area, with the
// window's own styles and the system's current frame metrics.
Size FrameSize(HWND hwnd) {
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
  return {r.right - r.left, r.bottom - r.top};
}

// Gives the window back its fixed outer size after a resize in the normal state.
void PinWindowSize(Form1& form) {
  if (!form.loaded) return;
  const WindowState state = IsIconic(form.hwnd)   ? WindowState::kMinimised
                            : IsZoomed(form.hwnd) ? WindowState::kMaximised
                                                  : WindowState::kNormal;
  RECT r{};
  GetWindowRect(form.hwnd, &r);
  const Size keep = KeptOuterSize(form.twips_per_pixel, FrameSize(form.hwnd));
  Size pinned{};
  if (PinnedSize(state, keep, {r.right - r.left, r.bottom - r.top}, pinned)) {
    SetWindowPos(form.hwnd, nullptr, 0, 0, pinned.width, pinned.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// A drag of a border or corner changes nothing while it lasts: the window
// keeps its size and its place. (Its size alone given back after the drag
// would leave a window dragged by its top or left border moved by the
// drag's length.) Only a window in the normal state can be dragged so.
void KeepPlaceWhileSizing(const Form1& form, RECT& drag) { GetWindowRect(form.hwnd, &drag); }

void Form_Load(Form1& form) {
  CentreWindow(form);
  form.loaded = true;
}

void Form_Resize(Form1& form) { PinWindowSize(form); }

NewsEditor EditorOf(Form1& form) {
  return {form.hwnd, form.Text, form.Dialog1, form.slots, SystemCodePage()};
}

// A click on a button, or its key (Ctrl+O, Ctrl+S), which does exactly the same.
void OnCommand(Form1& form, int id) {
  NewsEditor editor = EditorOf(form);
  switch (id) {
    case kIdOpen: return cmd_Open_Click(editor);
    case kIdSave: return cmd_Save_Click(editor);
    case kIdClose: DestroyWindow(form.hwnd); return;
    default: return;
  }
}

// Gives the focus back to the control that had it last; false when there is none.
bool RestoreFocus(const Form1& form) {
  if (!form.focus || !IsWindow(form.focus)) return false;
  SetFocus(form.focus);
  return true;
}

bool IsPushButton(const Form1& form, HWND control) {
  for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
    if (form.controls[i] == control) return kForm1Controls[i].kind == ControlKind::kPushButton;
  }
  return false;
}

LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Form1* form = FormOf(hwnd);
  switch (message) {
    case WM_NCCREATE:
      form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      if (!form) return FALSE;
      form->hwnd = hwnd;
      form->Dialog1.set_owner(hwnd);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
      break;
    case WM_CREATE:
      return CreateControls(*form, reinterpret_cast<CREATESTRUCTW*>(lparam)->hInstance) ? 0 : -1;
    case WM_SIZE:
      if (form) Form_Resize(*form);
      return 0;
    case WM_SIZING:
      if (form) KeepPlaceWhileSizing(*form, *reinterpret_cast<RECT*>(lparam));
      return TRUE;
    case WM_COMMAND:
      // From a button: a click is BN_CLICKED. From the key table: code 1 and
      // no control.
      if (form && (lparam ? HIWORD(wparam) == BN_CLICKED : HIWORD(wparam) == 1)) {
        OnCommand(*form, LOWORD(wparam));
      }
      return 0;
    case WM_ACTIVATE:
      // Activated and not minimised: the focus goes back where it was, or,
      // with no control to take it, to the window, as the system does.
      if (form && LOWORD(wparam) != WA_INACTIVE && !HIWORD(wparam) && RestoreFocus(*form)) {
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (form) RestoreFocus(*form);
      return 0;
    case WM_NEXTDLGCTL: {
      // Tab and Shift+Tab, from the dialog keyboard interface or a text box.
      HWND next = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                 : GetNextDlgTabItem(hwnd, GetFocus(), wparam != 0);
      if (next) SetFocus(next);
      return 0;
    }
    case DM_GETDEFID: {
      // Enter clicks the focused button.
      HWND focus = GetFocus();
      if (form && IsPushButton(*form, focus)) {
        return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
      }
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      // The state belongs to the program entry; the window only lets go of it.
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      if (form) form->hwnd = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Where every message enters the program's code: nothing thrown below ever
// leaves through the system's code. The commands turn their own failures,
// running out of memory included, into messages for the user; what still
// reaches this point is reported without allocating, and the window and its
// text live on.
LRESULT CALLBACK Form1Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  const wchar_t* failure = nullptr;
  try {
    return HandleMessage(hwnd, message, wparam, lparam);
  } catch (const std::bad_alloc&) {
    failure = L"There was not enough memory to finish this. The text is still in the editor.";
  } catch (...) {
    failure = L"This could not be finished. The text is still in the editor.";
  }
  if (message == WM_NCCREATE) return FALSE;
  if (message == WM_CREATE) return -1;
  MessageBoxW(hwnd, failure, kForm1Title.data(), MB_OK | MB_ICONERROR);
  return 0;
}

}  // namespace

HWND CreateForm1(Form1& state, HINSTANCE instance, int show) {
  // The common controls, for the frame's tooltip, from the system folder.
  BOOL(WINAPI * init_common_controls)(const INITCOMMONCONTROLSEX*) = nullptr;
  Resolve(LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx", init_common_controls);
  if (init_common_controls) {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    init_common_controls(&controls);
  }

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Form1Proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TOLVEX));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return nullptr;

  const int tpp = ScreenTwipsPerPixel();
  RECT r{0, 0, TwipsToPixels(kClientWidthTwips, tpp), TwipsToPixels(kClientHeightTwips, tpp)};
  const DWORD style = WS_OVERLAPPEDWINDOW;
  AdjustWindowRectEx(&r, style, FALSE, 0);
  const std::wstring title(kForm1Title);
  HWND hwnd = CreateWindowExW(0, kClassName, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance,
                              &state);
  if (!hwnd) return nullptr;
  Form_Load(state);
  ShowWindow(hwnd, show);
  Form_Resize(state);
  UpdateWindow(hwnd);
  SetFocus(state.Text);
  return hwnd;
}

bool PreTranslateForm1Message(HWND form, MSG& msg) {
  if (msg.hwnd != form && !IsChild(form, msg.hwnd)) return false;
  // The editor's own keys first: the dialog keyboard interface would have
  // the editor close the window on Esc. (On a button, Esc asks the window
  // for a cancel command it does not have: nothing happens.)
  if (TakeEditorKey(GetDlgItem(form, kIdText), msg)) return true;
  return IsDialogMessageW(form, &msg) != FALSE;
}

}  // namespace tolvex
