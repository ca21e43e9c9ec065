#include "news/news_commands.h"

#include <cderr.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <new>
#include <string>

#include "news/news_text_file.h"
#include "platform/editor.h"
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
// name, and the name of a file of ours in the same folder (in the unlimited
// form at most), with the system's description of the failure.
std::size_t SaveReportRoom(const Path& name) { return 1024 + 2 * (name.size() + 300) + kReportRoom; }

// What the user is told when Save fails, or leaves a file behind: the file,
// what became of it and of the file left, and that the text is still in the
// editor. Appends to `what`, which SaveReportRoom has made room for.
void ComposeSaveOutcome(std::wstring& what, const Path& name, const WriteOutcome& outcome) {
  if (outcome.ok()) {
    what.append(L"The news was saved to\n").append(name);
  } else {
    what.append(L"The news could not be saved to\n").append(name);
    if (outcome.held) what.append(L"\n\nAnother program is using the file. Close it, and Save again.");
  }
  switch (outcome.what) {
    case Written::kSaved:
    case Written::kSavedInPlace:
      break;
    case Written::kMayHoldPart:
      what.append(L"\n\nThe file may hold a part of the new text; the whole text is still in the editor.");
      break;
    case Written::kNotChanged:
      what.append(L"\n\nThe file was not changed, and the text is still in the editor.");
      break;
    case Written::kNotCreated:
      what.append(L"\n\nNo file was written, and the text is still in the editor.");
      break;
  }
  if (!outcome.left.empty()) {
    what.append(L"\n\nA file with the new text, or a start of it, could not be removed:\n")
        .append(outcome.left).append(L"\nwhich you may delete.");
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
  if (TitledMessageBox(editor.owner, message, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES) {
    return true;
  }
  SetFocus(editor.text);
  SelectInEditor(editor.text, at, at + length);
  return false;
}

// Whether the editor shows what a failed Load left there, kLoadError and
// nothing else, unchanged since. Saved, those words would take the place of
// the news in the very file that Load could not read, which the Save dialog
// offers.
bool ShowsTheLoadError(const NewsEditor& editor, const std::u16string& text) {
  return EditorUnchangedSinceReplaced(editor.text) && text.size() == kLoadError.size() &&
         std::equal(text.begin(), text.end(), kLoadError.begin());
}

// Asks whether to save the text of a failed Load all the same, as the lossy
// question does: the name has been chosen, nothing is written yet, and No,
// the default (Enter), writes nothing.
bool ConfirmSavingTheLoadError(const NewsEditor& editor) {
  return TitledMessageBox(editor.owner,
                          L"The editor shows the error of a failed Load, not news. Save it anyway?",
                          MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
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

bool SaveNewsFile(NewsEditor& editor, const Path& name, WriteOutcome* written) {
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
      text = EditorText(editor.text);
      encoded = editor.code_page.Encode(text);
    }
    if (ShowsTheLoadError(editor, text) && !ConfirmSavingTheLoadError(editor)) return false;
    if (encoded.lost > 0 && !ConfirmLossySave(editor, text, encoded)) return false;
    std::u16string().swap(text);
    const WaitCursor wait;
    outcome = WriteNewsText(editor.slots, name, encoded.bytes);
  } catch (const std::exception&) {
    // Out of memory: whatever was being written has been dropped on the way out.
    outcome = WriteOutcome{Written::kNotChanged, Status(ERROR_NOT_ENOUGH_MEMORY), false, {}};
  }
  if (written) *written = outcome;
  if (outcome.clean()) return true;
  const UINT icon = outcome.ok() ? MB_ICONWARNING : MB_ICONERROR;
  if (report.capacity() < SaveReportRoom(name)) {
    // Memory ran out before anything was written.
    TitledMessageBox(editor.owner,
                     L"The news could not be saved: there is not enough memory.\n\n"
                     L"The file was not changed, and the text is still in the editor.",
                     MB_OK | icon);
    return false;
  }
  ComposeSaveOutcome(report, name, outcome);
  ShowReport(editor.owner, report, outcome.status.code(), icon);
  return outcome.ok();
}

}  // namespace tolvex
