// Program entry: Form1 and the message loop, nothing else.
#include <windows.h>

#include "app/form1.h"
#include "platform/error_message.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  HWND form = tolvex::CreateForm1(instance, show);
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
  return static_cast<int>(msg.wParam);
}
