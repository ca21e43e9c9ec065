// The news editor: the system's multi-line text box, and everything it does
// beyond that box. The window hands the editor its messages and keys; the
// Load and Save commands read and replace its text here. No other code sends
// the text box a message of the box's own (EM_...).
//
// Beyond the system's text box, the editor
// - takes a text of any length, typed or pasted (the box's typing limit is
//   lifted);
// - keeps its caret and selection when Tab brings the focus back (the dialog
//   keyboard interface would select the whole text, and the next key typed
//   would replace the news);
// - does nothing on Esc (under the dialog keyboard interface a multi-line
//   text box closes its parent), and selects its whole text on Ctrl+A;
// - deletes the word before the caret (editor_words.h), or the selection, on
//   Ctrl+Backspace, as one step of its Undo, and never lets in the DEL
//   character that Windows sends for that key;
// - pastes (Ctrl+V, Shift+Insert, the context menu's Paste) the clipboard's
//   text as the window's paste rule makes it, as one step of its Undo; a
//   paste with no text does nothing at all, Undo included;
// - has its whole text replaced as one step of its Undo, Undo going back
//   across replaces in a row (ReplaceEditorText).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvex {

// What a pasted text becomes before it goes in (for the news: every line end
// written as the news file will have it).
using PasteRule = std::u16string (*)(std::u16string_view clipboard_text);

// Makes the text box `editor` the editor; once, right after it was made.
void SetUpEditor(HWND editor);

// Handles `message` for the editor where the editor does more than the text
// box: true, with the message's result in `result`; false when the box's own
// procedure `base` is to handle it as it is.
bool HandleEditorMessage(HWND editor, WNDPROC base, UINT message, WPARAM wparam, LPARAM lparam,
                         PasteRule paste_rule, LRESULT& result);

// For the message loop, before the dialog keyboard interface sees `msg`: true
// when it is a key the editor has taken (Esc, Ctrl+A), which goes no further.
bool TakeEditorKey(HWND editor, const MSG& msg);

// The editor's whole text.
std::u16string EditorText(HWND editor);

// Puts `text` (`length` characters, followed by a NUL) in place of all the
// editor holds, as one step of its Undo, with the caret at the start and the
// first line shown. Replaces in a row, with no change of the text between
// them, are one step: Undo brings back the text from before the first of
// them, and Undo again the last one's text. Needs no memory of the program's.
// False when the editor does not hold exactly `text` afterwards: a text box
// that cannot hold a text keeps its old one, and reports success all the same.
bool ReplaceEditorText(HWND editor, const wchar_t* text, std::size_t length);

// Whether the editor's text is still the one its last replace (or a setting
// of its whole text) put there: no edit, Undo included, has changed it since.
bool EditorUnchangedSinceReplaced(HWND editor);

// Selects the characters from `start` to `end` and scrolls them into view.
void SelectInEditor(HWND editor, std::size_t start, std::size_t end);

}  // namespace tolvex
