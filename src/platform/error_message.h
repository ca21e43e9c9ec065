// The one place system errors are turned into words for the user, and the
// one way the program's message boxes are shown.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tolvex {

// The room the system's description of an error takes at most, its NUL
// included; a longer one is told by its number.
constexpr std::size_t kErrorTextRoom = 1000;

// The system's description of error `code` in `text`, which has room for
// `room` characters with the NUL, without a trailing line break; "Error N"
// when the system has none (or none that fits). Returns its length. Needs no
// memory of the program's: it runs when memory is short.
std::size_t SystemErrorText(DWORD code, wchar_t* text, std::size_t room);

// The same as a string: what the program's boxes say of `code`, for the tests
// that look for it there.
inline std::wstring SystemErrorText(DWORD code) {
  wchar_t text[kErrorTextRoom];
  return std::wstring(text, SystemErrorText(code, text, kErrorTextRoom));
}

// A modal message box owned by `owner` with the owner's title, as every box
// of the program has; `type` and the result as MessageBoxW takes and gives
// them. Needs no memory of the program's.
int TitledMessageBox(HWND owner, const wchar_t* text, UINT type);

// Shows a modal error box owned by `owner`: `what`, a blank line, then the
// system's description of `code` (left out when `code` is 0).
void ShowError(HWND owner, std::wstring_view what, DWORD code);

// The room ShowReport needs in its message beyond the words given.
constexpr std::size_t kReportRoom = 1024;
static_assert(kReportRoom >= kErrorTextRoom + 2, "a blank line, then the system's description");

// As ShowError, with the icon given (MB_ICONERROR, MB_ICONWARNING), for a
// report that must not fail for want of memory: the system's description is
// appended to `message` in place, which needs kReportRoom characters of
// room beyond its length, and the rest uses no memory of the program's.
void ShowReport(HWND owner, std::wstring& message, DWORD code, UINT icon);

}  // namespace tolvex
