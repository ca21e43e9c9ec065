// Form1, the program's only window: the news editor with its Load, Save and
// Close buttons, fixed in place and size.
#pragma once

#include <windows.h>

namespace tolvex {

// Creates Form1 centred on the screen, shows it and gives the editor the
// focus. Returns nullptr (with GetLastError set) when the window cannot be made.
HWND CreateForm1(HINSTANCE instance, int show);

// Keyboard handling of the window's controls, for the message loop: true when
// `msg` was handled and must not be dispatched.
bool PreTranslateForm1Message(HWND form, MSG& msg);

}  // namespace tolvex
