// What Form1's editor does beyond the system's text box:
// - Ctrl+Backspace deletes the word before the caret (editor_words.h), or the
//   selection, as one step of the editor's Undo, and never puts the DEL
//   character that Windows sends for it into the news;
// - every paste (Ctrl+V, Shift+Insert, the text box's context menu) puts the
//   clipboard's text in with each line end written as CR LF, as the news file
//   will have it, as one step of the editor's Undo.
#pragma once

#include <windows.h>

namespace tolvex {

// Handles `message` for the editor `editor` where the editor does more than
// the system's text box: true with the message's result in `result`; false
// when the text box's own procedure is to handle it.
bool HandleEditorMessage(HWND editor, UINT message, WPARAM wparam, LPARAM lparam,
                         LRESULT& result);

}  // namespace tolvex
