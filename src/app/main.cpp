// Program entry: Form1 and the message loop, nothing else.
#include <windows.h>

#include "app/form1.h"
#include "platform/error_message.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const tolvex::Form1State state = tolvex::NewForm1State();
  HWND form = tolvex::CreateForm1(*state, instance, show);
  if (!form) {
    tolvex::ShowError(nullptr, L"The window could not be created.", GetLastError());
    return 1;
  }
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (tolvex::PreTranslateForm1Message(form, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The window goes before the state it works with.
  if (IsWindow(form)) DestroyWindow(form);
  return static_cast<int>(msg.wParam);
}
