// The window styles of Form1's editor: a multi-line text box with a vertical
// scroll bar whose lines wrap at its width. Shared with the programs that
// measure or test a text box made like it.
#pragma once

#include <windows.h>

namespace tolvex {

constexpr DWORD kEditorStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | WS_VSCROLL |
                               ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
constexpr DWORD kEditorExStyle = WS_EX_CLIENTEDGE;

}  // namespace tolvex
