// Names that screen readers hear for controls that show none of their own (a
// text box with no label before it, a picture). A screen reader asks a
// control for its accessible object with WM_GETOBJECT; the answer here is an
// object of the program's that says all the system's own object for the
// control says but the control's name. Its role, value, state, caret and
// children stay the system's.
#pragma once

#include <windows.h>

namespace tolvex {

// Answers WM_GETOBJECT (`wparam`, `lparam` as the control got them) for the
// control's client area with the system's standard object named `name`, which
// must outlive the program (a literal). False for any other object asked for,
// and where the accessibility library cannot be had: the control then answers
// as it would without this.
//
// The accessibility library (oleacc) and what it needs are loaded from the
// system folder the first time a screen reader asks, never before.
bool AnswerWithAccessibleName(HWND control, WPARAM wparam, LPARAM lparam, const wchar_t* name,
                              LRESULT& answer);

}  // namespace tolvex
