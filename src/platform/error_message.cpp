#include "platform/error_message.h"

#include <cwchar>

namespace tolvex {

std::size_t SystemErrorText(DWORD code, wchar_t* text, std::size_t room) {
  if (room == 0) return 0;
  text[0] = L'\0';
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, static_cast<DWORD>(room), nullptr);
  while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ')) --n;
  if (n == 0) {
    const int written = std::swprintf(text, room, L"Error %lu", static_cast<unsigned long>(code));
    n = written > 0 ? static_cast<DWORD>(written) : 0;
  }
  text[n] = L'\0';
  return n;
}

int TitledMessageBox(HWND owner, const wchar_t* text, UINT type) {
  wchar_t title[256] = L"";
  if (owner) GetWindowTextW(owner, title, 256);
  return MessageBoxW(owner, text, title, type);
}

void ShowError(HWND owner, std::wstring_view what, DWORD code) {
  std::wstring message;
  message.reserve(what.size() + kReportRoom);
  message.assign(what);
  ShowReport(owner, message, code, MB_ICONERROR);
}

void ShowReport(HWND owner, std::wstring& message, DWORD code, UINT icon) {
  if (code != 0) {
    wchar_t text[kErrorTextRoom];
    const std::size_t n = SystemErrorText(code, text, kErrorTextRoom);
    message.append(L"\n\n").append(text, n);
  }
  TitledMessageBox(owner, message.c_str(), MB_OK | icon);
}

}  // namespace tolvex
