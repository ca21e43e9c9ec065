// Program entry: Form1 and the message loop, nothing else.
#include <windows.h>

#include "resource.h"
#include "app/form1.h"
#include "platform/error_message.h"
#include "platform/system_library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // Before anything loads a library by name.
  tolvex::RestrictLibrarySearch();
  const tolvex::Form1State state = tolvex::NewForm1State();
  HWND form = tolvex::CreateForm1(*state, instance, show);
  if (!form) {
    tolvex::ShowError(nullptr, L"The window could not be created.", GetLastError());
    return 1;
  }
  // Ctrl+O and Ctrl+S from whichever control has the focus: looked at before
  // the window's keyboard handling, which would give the keys to that control.
  // (A table from the resources goes with the process.)
  HACCEL keys = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_FORM1));
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    const bool ours = msg.hwnd == form || IsChild(form, msg.hwnd);
    if (ours && keys && TranslateAcceleratorW(form, keys, &msg)) continue;
    if (tolvex::PreTranslateForm1Message(form, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The window goes before the state it works with.
  if (IsWindow(form)) DestroyWindow(form);
  return static_cast<int>(msg.wParam);
}
