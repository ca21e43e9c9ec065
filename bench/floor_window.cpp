// The floor the benchmarks set Tolvex beside: the least a Win32 program can do.
//
//   floor_window.exe          shows one empty window of Form1's size
//   floor_window.exe FILE     also shows FILE's text in a text box made like
//                             the editor, set with one WM_SETTEXT
//
// Built a second time as floor_window_dlls.exe, which also loads the DLLs
// Tolvex needs (common controls, common dialogs) and initialises the common
// controls as Tolvex does: the start-up that any program with a file dialog
// and a tooltip pays. It also takes
//
//   floor_window_dlls.exe --controls
//                             Form1's controls in their places (buttons,
//                             pictures, frame, text boxes) and a tooltip,
//                             made the plainest way: what showing Tolvex's
//                             window costs any program
//
// The window closes on WM_CLOSE; the exit code is 0, or 1 when FILE could not
// be read.
#include <windows.h>
#ifdef TOLVEX_FLOOR_DLLS
#include <commctrl.h>
#include <commdlg.h>
#endif

#include <cstdlib>
#include <string>

#include "editor_box.h"
#include "platform/unique_handle.h"

namespace {

// The file's bytes, read in one go.
bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
  tolvex::UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
         got == bytes.size();
}

#ifdef TOLVEX_FLOOR_DLLS
void CreateForm1Controls(HWND hwnd) {
  using namespace tolvex;
  const int tpp = ScreenTwipsPerPixel();
  for (const ControlDesign& design : kForm1Controls) {
    if (design.kind == ControlKind::kEditor) {
      bench::CreateEditorBox(hwnd);
      continue;
    }
    const bool is_static = design.kind == ControlKind::kPicture;
    const bool is_edit = design.kind == ControlKind::kInfoBox;
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (design.kind == ControlKind::kGroupBox) style |= BS_GROUPBOX;
    if (is_static) style |= SS_BITMAP;
    if (is_edit) style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL;
    const PixelRect r = ToPixels(design, tpp);
    const std::wstring text(design.text);
    HWND control = CreateWindowExW(0, is_static ? L"STATIC" : is_edit ? L"EDIT" : L"BUTTON",
                                   text.c_str(), style, r.left, r.top, r.width, r.height, hwnd,
                                   nullptr, nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }
  HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd,
                                 nullptr, nullptr, nullptr);
  std::wstring tip(kFrameToolTip);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = hwnd;
  tool.rect = {0, 0, 100, 100};
  tool.lpszText = tip.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}
#endif

LRESULT CALLBACK FloorProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef TOLVEX_FLOOR_DLLS
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // Referenced, so that the common dialogs DLL is loaded at start as Tolvex's is.
  static BOOL(WINAPI* volatile open_dialog)(OPENFILENAMEW*) = GetOpenFileNameW;
  (void)open_dialog;
#endif
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FloorProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"TolvexFloor";
  if (!RegisterClassExW(&wc)) return 2;
  const SIZE outer = tolvex::bench::Form1OuterSize();
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, outer.cx, outer.cy, nullptr, nullptr, instance,
                              nullptr);
  if (!hwnd) return 2;

  int result = 0;
#ifdef TOLVEX_FLOOR_DLLS
  if (__argc > 1 && std::wstring(__wargv[1]) == L"--controls") {
    CreateForm1Controls(hwnd);
  } else
#endif
  if (__argc > 1) {
    HWND edit = tolvex::bench::CreateEditorBox(hwnd);
    std::string bytes;
    if (!edit || !ReadWholeFile(__wargv[1], bytes)) {
      result = 1;
    } else {
      std::wstring text(bytes.size(), L'\0');
      text.resize(static_cast<std::size_t>(
          MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                              text.data(), static_cast<int>(text.size()))));
      std::string().swap(bytes);
      SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
  }

  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return result;
}
