// Form1, the program's only window: the news editor with its Load, Save and
// Close buttons, fixed in place and size.
#pragma once

#include <windows.h>

#include <memory>

namespace tolvex {

// What the window works with: its controls, its file dialog, its file slots.
// The program entry owns it, so that it outlives the window and every handler
// still running when the window goes (a dialog's loop, say).
struct Form1;
struct Form1Deleter {
  void operator()(Form1* form) const;
};
using Form1State = std::unique_ptr<Form1, Form1Deleter>;
Form1State NewForm1State();

// Creates Form1 over `state`, centred on the screen, shows it and gives the
// editor the focus. Returns nullptr (with GetLastError set) when the window
// cannot be made.
HWND CreateForm1(Form1& state, HINSTANCE instance, int show);

// Keyboard handling of the window's controls, for the message loop: true when
// `msg` was handled and must not be dispatched.
bool PreTranslateForm1Message(HWND form, MSG& msg);

}  // namespace tolvex
