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

std::wstring WindowTitle(HWND hwnd) {
  std::wstring title(static_cast<std::size_t>(hwnd ? GetWindowTextLengthW(hwnd) : 0) + 1, L'\0');
  title.resize(hwnd ? static_cast<std::size_t>(GetWindowTextW(hwnd, title.data(),
                                                               static_cast<int>(title.size())))
                    : 0);
  return title;
}

void ShowError(HWND owner, std::wstring_view what, DWORD code) {
  std::wstring message;
  message.reserve(what.size() + kReportRoom);
  message.assign(what);
  ShowReport(owner, message, code, MB_ICONERROR);
}

void ShowReport(HWND owner, std::wstring& message, DWORD code, UINT icon) {
  if (code != 0) {
    wchar_t text[kReportRoom - 8] = L"";
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, kReportRoom - 8, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ')) --n;
    if (n == 0) n = static_cast<DWORD>(std::swprintf(text, 32, L"Error %lu", static_cast<unsigned long>(code)));
    message.append(L"\n\n").append(text, n);
  }
  wchar_t title[256] = L"";
  if (owner) GetWindowTextW(owner, title, 256);
  MessageBoxW(owner, message.c_str(), title, MB_OK | icon);
}

}  // namespace tolvex
