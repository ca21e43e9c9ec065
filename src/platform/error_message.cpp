#include "platform/error_message.h"

#include <cwchar>

namespace tolvex {

std::wstring SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (n != 0 && buffer) text.assign(buffer, n);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    wchar_t number[32];
    std::swprintf(number, 32, L"Error %lu", static_cast<unsigned long>(code));
    text = number;
  }
  return text;
}

void ShowError(HWND owner, std::wstring_view what, DWORD code) {
  std::wstring message(what);
  if (code != 0) message.append(L"\n\n").append(SystemErrorText(code));
  wchar_t title[256] = L"";
  if (owner) GetWindowTextW(owner, title, 256);
  MessageBoxW(owner, message.c_str(), title, MB_OK | MB_ICONERROR);
}

}  // namespace tolvex
