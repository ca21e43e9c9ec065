#include "news/news_commands.h"

#include <cderr.h>

#include <cwchar>
#include <exception>
#include <new>
#include <string>

#include "news/news_text_file.h"
#include "platform/error_message.h"
#include "platform/file_names.h"
#include "platform/wait_cursor.h"

namespace tolvex {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the editor's text is UTF-16");

std::wstring CurrentDirectory() {
  std::wstring dir(GetCurrentDirectoryW(0, nullptr), L'\0');
  dir.resize(GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data()));
  return dir;
}

std::u16string GetEditorText(HWND text) {
  std::u16string s(static_cast<std::size_t>(GetWindowTextLengthW(text)) + 1, u'\0');
  s.resize(static_cast<std::size_t>(GetWindowTextW(text, reinterpret_cast<wchar_t*>(s.data()),
                                                   static_cast<int>(s.size()))));
  return s;
}

// Loads in a row. A Load's text stands in the editor as one step of the
// editor's own undo, which holds the text from before it; the editor's
// modified flag, cleared by the Load, tells that nobody has changed the text
// since (every edit, Undo included, sets it; setting a text as a whole clears
// it, and the undo with it). A Load over such a text first brings back the
// text from before that Load, so that Undo after Loads in a row gives the
// text from before the first of them, and no copy of it is held beside the
// editor's own.
void BackToTheTextBeforeLoads(HWND editor) {
  if (SendMessageW(editor, EM_GETMODIFY, 0, 0) || !SendMessageW(editor, EM_CANUNDO, 0, 0)) return;
  SendMessageW(editor, EM_UNDO, 0, 0);
  // Scrolled to the start: see ReplaceEditorText.
  SendMessageW(editor, EM_SETSEL, 0, 0);
  SendMessageW(editor, EM_SCROLLCARET, 0, 0);
}

// Puts a Load's `text` (`length` characters) in the editor in place of all
// it holds, as one step of the editor's own undo: Undo brings back what was
// there before the Loads in a row, and Undo again the new text. (WM_SETTEXT
// would empty the undo.) Leaves the caret at the start with the first line
// shown. False when the editor does not hold exactly `text` afterwards: a
// text box that cannot hold a text keeps its old one, and reports success all
// the same.
bool ReplaceEditorText(HWND editor, const wchar_t* text, std::size_t length) {
  BackToTheTextBeforeLoads(editor);
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
  SendMessageW(editor, EM_SETSEL, 0, 0);
  SendMessageW(editor, EM_SCROLLCARET, 0, 0);
  if (whole) SendMessageW(editor, EM_SETMODIFY, FALSE, 0);
  return whole;
}

// Shows Load's failure, as a step Undo takes back. Needs no memory of its
// own: it runs when memory is short. Should the editor have no memory left
// to keep the old text for Undo, the error text is shown all the same.
void ShowLoadError(HWND text) {
  static_assert(kLoadError.data()[kLoadError.size()] == L'\0', "kLoadError views a literal");
  if (!ReplaceEditorText(text, kLoadError.data(), kLoadError.size())) {
    SetWindowTextW(text, kLoadError.data());
  }
}

// The room the report of a save to `name` can take: its words, the file's
// name, and the names of two files of ours in the same folder (in the
// unlimited form at most), with the system's description of the failure.
std::size_t SaveReportRoom(const Path& name) { return 1024 + 3 * (name.size() + 300) + kReportRoom; }

// What the user is told when Save fails, or leaves a file behind: the file,
// what became of it and of every other file, and that the text is still in
// the editor. Appends to `what`, which SaveReportRoom has made room for.
void ComposeSaveOutcome(std::wstring& what, const Path& name, const WriteOutcome& outcome,
                        bool target_there) {
  const std::uint32_t code = outcome.status.code();
  const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
  switch (outcome.what) {
    case Written::kSaved:
    case Written::kSavedOldKept:
      what.append(L"The news was saved to\n").append(name);
      break;
    case Written::kSavedElsewhere:
    case Written::kBothKept:
      what.append(L"The news could not be put in the place of\n").append(name)
          .append(L"\n\nIt was saved to\n").append(outcome.new_copy)
          .append(L"\ninstead, and the text is still in the editor.");
      break;
    case Written::kMayHoldPart:
      what.append(L"The news could not be saved to\n").append(name).append(
          L"\n\nThe file may hold a part of the new text; the whole text is still in the editor.");
      break;
    case Written::kNotChanged:
      what.append(L"The news could not be saved to\n").append(name);
      if (held) what.append(L"\n\nAnother program is using the file. Close it, and Save again.");
      // Nothing was changed, so a file there now was there before.
      what.append(target_there
                      ? L"\n\nThe file was not changed, and the text is still in the editor."
                      : L"\n\nNo file was written, and the text is still in the editor.");
      break;
  }
  const bool elsewhere =
      outcome.what == Written::kSavedElsewhere || outcome.what == Written::kBothKept;
  if (!outcome.new_copy.empty() && !elsewhere) {
    what.append(L"\n\nA file with the new text, or a start of it, could not be removed:\n")
        .append(outcome.new_copy).append(L"\nwhich you may delete.");
  }
  if (!outcome.old_copy.empty()) {
    if (outcome.ok()) {
      what.append(L"\n\nIts old content could not be removed from\n").append(outcome.old_copy)
          .append(L"\nwhich you may delete.");
    } else {
      what.append(L"\n\nThe old file is kept as\n").append(outcome.old_copy);
    }
  }
}

// Refuses a name that Windows keeps for a device: writing to it writes to
// the device, and no file is made. The file dialog's guard refuses such a
// name as it is typed, with the same advice; this refusal stands where the
// dialog goes without its guard (Windows' newer dialog), and for a name
// given past the dialog.
void ShowDeviceName(const NewsEditor& editor, const Path& name) {
  ShowError(editor.owner,
            L"The news could not be saved to\n" + name + L"\n\n" + std::wstring(kDeviceNameAdvice) +
                L"\n\nNo file was written, and the text is still in the editor.",
            0);
}

void PrepareDialog(CommonDialog& dialog, std::wstring_view title, DWORD flags) {
  dialog.InitDir = CurrentDirectory();
  dialog.Filter = kNewsFilter;
  dialog.DialogTitle = title;
  dialog.Flags = flags;
}

// Asks whether to save although some characters will become '?'. On No the
// first such character is selected in the editor.
bool ConfirmLossySave(const NewsEditor& editor, const std::u16string& text,
                      const CodePage::Encoded& encoded) {
  const std::size_t at = encoded.first_lost;
  std::size_t line = 1;
  for (std::size_t i = 0; i < at; ++i) line += text[i] == u'\n';
  const std::size_t length = encoded.first_lost_length;
  const std::wstring shown(text.begin() + static_cast<std::ptrdiff_t>(at),
                           text.begin() + static_cast<std::ptrdiff_t>(at + length));
  wchar_t message[512];
  std::swprintf(message, 512,
                L"%zu character(s) of the text cannot be stored in a news file (code page %u) "
                L"and would be saved as \"?\".\n\nThe first is \"%ls\" on line %zu.\n\n"
                L"Save anyway?",
                encoded.lost, editor.code_page.number(), shown.c_str(), line);
  if (MessageBoxW(editor.owner, message, WindowTitle(editor.owner).c_str(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES) {
    return true;
  }
  SetFocus(editor.text);
  SendMessageW(editor.text, EM_SETSEL, at, at + length);
  SendMessageW(editor.text, EM_SCROLLCARET, 0, 0);
  return false;
}

}  // namespace

void cmd_Open_Click(NewsEditor& editor) {
  CommonDialog& dialog = editor.dialog;
  try {
    PrepareDialog(dialog, kOpenTitle, kOpenFlags);
    if (dialog.ShowOpen() != 0) return ShowLoadError(editor.text);
  } catch (const std::exception&) {
    return ShowLoadError(editor.text);
  }
  if (dialog.FileName.empty()) return;
  LoadNewsFile(editor, dialog.FileName);
}

bool LoadNewsFile(NewsEditor& editor, const Path& name) {
  const WaitCursor wait;
  try {
    std::string bytes;
    if (!IsDeviceName(name) && ReadNewsText(editor.slots, name, bytes).ok()) {
      const std::u16string text = editor.code_page.Decode(bytes);
      std::string().swap(bytes);
      // The old text stays with the editor's undo.
      if (ReplaceEditorText(editor.text, reinterpret_cast<const wchar_t*>(text.c_str()),
                            text.size())) {
        return true;
      }
    }
  } catch (const std::exception&) {
    // Out of memory (or a text longer than a string holds): a failure like any other.
  }
  ShowLoadError(editor.text);
  return false;
}

void cmd_Save_Click(NewsEditor& editor) {
  CommonDialog& dialog = editor.dialog;
  DWORD code = 0;
  try {
    PrepareDialog(dialog, kSaveTitle, kSaveFlags);
    code = dialog.ShowSave();
  } catch (const std::bad_alloc&) {
    code = CDERR_MEMALLOCFAILURE;
  }
  if (code != 0) {
    wchar_t message[128];
    std::swprintf(message, 128, L"The Save dialog could not be shown (error 0x%04lX).",
                  static_cast<unsigned long>(code));
    return ShowError(editor.owner, message, 0);
  }
  if (dialog.FileName.empty()) return;
  SaveNewsFile(editor, dialog.FileName);
}

bool SaveNewsFile(NewsEditor& editor, const Path& name, Written* what) {
  if (IsDeviceName(name)) {
    ShowDeviceName(editor, name);
    return false;
  }
  // The report's room is taken before anything is written: from the commit
  // to the end of the report, nothing allocates, so no outcome is lost.
  std::wstring report;
  WriteOutcome outcome;
  try {
    report.reserve(SaveReportRoom(name));
    std::u16string text;
    CodePage::Encoded encoded;
    {
      const WaitCursor wait;
      text = GetEditorText(editor.text);
      encoded = editor.code_page.Encode(text);
    }
    if (encoded.lost > 0 && !ConfirmLossySave(editor, text, encoded)) return false;
    std::u16string().swap(text);
    const WaitCursor wait;
    outcome = WriteNewsText(editor.slots, name, encoded.bytes);
  } catch (const std::exception&) {
    // Out of memory: whatever was being written has been dropped on the way out.
    outcome = WriteOutcome{Written::kNotChanged, Status(ERROR_NOT_ENOUGH_MEMORY), {}, {}};
  }
  if (what) *what = outcome.what;
  if (outcome.clean()) return true;
  const UINT icon = outcome.ok() ? MB_ICONWARNING : MB_ICONERROR;
  if (report.capacity() < SaveReportRoom(name)) {
    // Memory ran out before anything was written.
    MessageBoxW(editor.owner,
                L"The news could not be saved: there is not enough memory.\n\n"
                L"The file was not changed, and the text is still in the editor.",
                nullptr, MB_OK | icon);
    return false;
  }
  ComposeSaveOutcome(report, name, outcome, editor.slots.Exists(name));
  ShowReport(editor.owner, report, outcome.status.code(), icon);
  return outcome.ok();
}

}  // namespace tolvex
