// A library planted beside a program under the name of a system library
// (built as comctl32.dll, comdlg32.dll and oleacc.dll). Whatever loads it
// runs its code: it leaves a mark, a file named after itself with ".loaded"
// added.
#include <windows.h>

#include "platform/unique_handle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t mark[MAX_PATH + 8] = L"";
    const DWORD length = GetModuleFileNameW(module, mark, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcpyW(mark + length, L".loaded");
      const tolvex::UniqueFile file(
          CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
  }
  return TRUE;
}
