#include "platform/editor.h"

#include <new>
#include <string>

#include "platform/editor_words.h"

namespace tolvex {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the editor's text is UTF-16");

// A line that long is read in one piece when Ctrl+Backspace looks back for the
// word before the caret; beyond it, the whole text before the caret is read.
constexpr std::size_t kLongestLineRead = 4096;

// Where the word before `caret` starts (editor_words.h). The caret's line
// holds it as a rule, and only that line is read; a word that may go on
// before the line's start (a line wrapped in the middle of a word, the caret
// at a line's start) needs the text before the caret.
std::size_t PreviousWordStartIn(HWND editor, std::size_t caret) {
  const LRESULT line = SendMessageW(editor, EM_LINEFROMCHAR, caret, 0);
  const LRESULT line_start = SendMessageW(editor, EM_LINEINDEX, line, 0);
  if (line_start >= 0 && static_cast<std::size_t>(line_start) < caret &&
      caret - static_cast<std::size_t>(line_start) <= kLongestLineRead) {
    const auto from = static_cast<std::size_t>(line_start);
    std::u16string part(caret - from, u'\0');
    part[0] = static_cast<char16_t>(part.size());  // EM_GETLINE's buffer size
    const auto got = static_cast<std::size_t>(
        SendMessageW(editor, EM_GETLINE, line, reinterpret_cast<LPARAM>(part.data())));
    if (got == part.size()) {
      const std::size_t start = PreviousWordStart(part);
      // What lies before the two characters in front of the start never
      // changes it.
      if (start >= 2 || from == 0) return from + start;
    }
  }
  std::u16string before(caret + 1, u'\0');
  before.resize(static_cast<std::size_t>(GetWindowTextW(
      editor, reinterpret_cast<wchar_t*>(before.data()), static_cast<int>(before.size()))));
  if (before.size() != caret) return caret;
  return PreviousWordStart(before);
}

// Whether a character the editor gets is Ctrl+Backspace. Windows sends the
// character DEL, which its text box would insert; Wine sends a backspace with
// Ctrl held (so does Ctrl+H, with the Backspace key up), which its text box
// ignores.
bool IsCtrlBackspace(WPARAM character) {
  return character == 0x7F || (character == VK_BACK && GetKeyState(VK_CONTROL) < 0 &&
                               GetKeyState(VK_BACK) < 0 && GetKeyState(VK_MENU) >= 0);
}

// Ctrl+Backspace in the editor: deletes the selection, or else the word before
// the caret, as one step that the editor's Undo takes back.
void DeletePreviousWord(HWND editor) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start == end) {
    try {
      start = static_cast<DWORD>(PreviousWordStartIn(editor, end));
    } catch (const std::bad_alloc&) {
      return;  // out of memory: nothing is deleted
    }
    if (start == end) return;
    SendMessageW(editor, EM_SETSEL, start, end);
  }
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
}

// The clipboard, open while this lives.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool is_open() const { return open_; }

 private:
  bool open_;
};

// The clipboard's text as `rule` makes it; false when it holds no text (or
// cannot be read), as a paste then does nothing.
bool ClipboardText(HWND editor, PasteRule rule, std::u16string& text) {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return false;
  const OpenedClipboard clipboard(editor);
  if (!clipboard.is_open()) return false;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return false;
  const auto* chars = static_cast<const char16_t*>(GlobalLock(data));
  if (!chars) return false;
  // The text ends at its NUL, and never beyond the memory it was given in.
  const std::size_t room = GlobalSize(data) / sizeof(char16_t);
  std::size_t length = 0;
  while (length < room && chars[length] != u'\0') ++length;
  try {
    text = rule(std::u16string_view(chars, length));
  } catch (const std::bad_alloc&) {
    GlobalUnlock(data);
    return false;  // out of memory: nothing is pasted
  }
  GlobalUnlock(data);
  return true;
}

// A paste into the editor: the clipboard's text, as `rule` makes it, in place
// of the selection, as one step of the editor's Undo. Nothing at all happens
// in a read-only editor or when the clipboard holds no text, or an empty one.
void Paste(HWND editor, PasteRule rule) {
  if (GetWindowLongPtrW(editor, GWL_STYLE) & ES_READONLY) return;
  std::u16string text;
  if (!ClipboardText(editor, rule, text) || text.empty()) return;
  // A step of its own: Wine's text box would merge a paste right after typing
  // into the typing's step. (It pastes no empty text, but would still have
  // emptied its Undo here.)
  SendMessageW(editor, EM_EMPTYUNDOBUFFER, 0, 0);
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

// Puts the caret at the start, nothing selected, and scrolls there.
void ToTheStart(HWND editor) {
  SendMessageW(editor, EM_SETSEL, 0, 0);
  SendMessageW(editor, EM_SCROLLCARET, 0, 0);
}

// Replaces in a row. A replaced text stands in the editor as one step of its
// Undo, which holds the text from before it; the modified flag, cleared by the
// replace, tells that nobody has changed the text since (every edit, Undo
// included, sets it; setting a text as a whole clears it, and the Undo with
// it). A replace over such a text first brings back the text from before the
// last replace, so that Undo after replaces in a row gives the text from
// before the first of them, and no copy of it is held beside the editor's own.
void BackToTheTextBeforeReplaces(HWND editor) {
  if (!EditorUnchangedSinceReplaced(editor) || !SendMessageW(editor, EM_CANUNDO, 0, 0)) return;
  SendMessageW(editor, EM_UNDO, 0, 0);
  // Scrolled to the start: see ReplaceEditorText.
  ToTheStart(editor);
}

}  // namespace

void SetUpEditor(HWND editor) {
  // The typing limit of a text box is 30,000 characters unless lifted.
  SendMessageW(editor, EM_SETLIMITTEXT, 0, 0);
}

bool HandleEditorMessage(HWND editor, WNDPROC base, UINT message, WPARAM wparam, LPARAM lparam,
                         PasteRule paste_rule, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_CHAR:
      if (!IsCtrlBackspace(wparam)) return false;
      DeletePreviousWord(editor);
      return true;
    case WM_PASTE:  // Ctrl+V and the context menu's Paste
      Paste(editor, paste_rule);
      return true;
    case WM_KEYDOWN:
      // Shift+Insert: Wine's text box pastes without sending itself WM_PASTE.
      if (wparam != VK_INSERT || GetKeyState(VK_SHIFT) >= 0) return false;
      Paste(editor, paste_rule);
      return true;
    case WM_GETDLGCODE:
      // Without "select all on Tab", the dialog keyboard interface leaves the
      // caret and the selection as they were.
      result = CallWindowProcW(base, editor, message, wparam, lparam) & ~DLGC_HASSETSEL;
      return true;
    default:
      return false;
  }
}

bool TakeEditorKey(HWND editor, const MSG& msg) {
  if (msg.hwnd != editor) return false;
  const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR;
  // A multi-line text box under the dialog keyboard interface closes its
  // parent on Esc; here Esc does nothing, so no text is lost to a stray key.
  if (key && msg.wParam == VK_ESCAPE) return true;
  if (msg.message == WM_KEYDOWN && msg.wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) &&
      !(GetKeyState(VK_MENU) & 0x8000)) {
    SendMessageW(editor, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

std::u16string EditorText(HWND editor) {
  std::u16string s(static_cast<std::size_t>(GetWindowTextLengthW(editor)) + 1, u'\0');
  s.resize(static_cast<std::size_t>(GetWindowTextW(editor, reinterpret_cast<wchar_t*>(s.data()),
                                                   static_cast<int>(s.size()))));
  return s;
}

bool ReplaceEditorText(HWND editor, const wchar_t* text, std::size_t length) {
  BackToTheTextBeforeReplaces(editor);
  // An undo step of the user's that ends or starts where the whole text does
  // would be merged with this one.
  SendMessageW(editor, EM_EMPTYUNDOBUFFER, 0, 0);
  // All of it, with the caret at the start: a caret at the end scrolls the
  // text box to its last line first, and Wine's then takes more than twice
  // as long to lay out the new text.
  SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(GetWindowTextLengthW(editor)), 0);
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
  // The caret follows the inserted text; after a replace that did not happen
  // it is where the selection was, at 0.
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const bool whole = start == length && end == length &&
                     static_cast<std::size_t>(GetWindowTextLengthW(editor)) == length;
  ToTheStart(editor);
  if (whole) SendMessageW(editor, EM_SETMODIFY, FALSE, 0);
  return whole;
}

bool EditorUnchangedSinceReplaced(HWND editor) {
  return !SendMessageW(editor, EM_GETMODIFY, 0, 0);
}

void SelectInEditor(HWND editor, std::size_t start, std::size_t end) {
  SendMessageW(editor, EM_SETSEL, start, static_cast<LPARAM>(end));
  SendMessageW(editor, EM_SCROLLCARET, 0, 0);
}

}  // namespace tolvex
