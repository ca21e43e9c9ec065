// The one place system errors are turned into words for the user.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tolvex {

// The system's description of an error code, without a trailing line break;
// "Error N" when the system has none.
std::wstring SystemErrorText(DWORD code);

// The window's title ("" for none).
std::wstring WindowTitle(HWND hwnd);

// Shows a modal error box owned by `owner`: `what`, a blank line, then the
// system's description of `code` (left out when `code` is 0).
void ShowError(HWND owner, std::wstring_view what, DWORD code);

// The room ShowReport needs in its message beyond the words given.
constexpr std::size_t kReportRoom = 1024;

// As ShowError, with the icon given (MB_ICONERROR, MB_ICONWARNING), for a
// report that must not fail for want of memory: the system's description is
// appended to `message` in place, which needs kReportRoom characters of
// room beyond its length, and the rest uses no memory of the program's.
void ShowReport(HWND owner, std::wstring& message, DWORD code, UINT icon);

}  // namespace tolvex
