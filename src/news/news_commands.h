// The Load and Save commands: the click handlers of cmd_Open and cmd_Save.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/code_page.h"
#include "platform/common_dialog.h"
#include "platform/file_slots.h"

namespace tolvex {

constexpr std::wstring_view kNewsFilter = L"*.txt (Textfiles)|*.txt";
constexpr std::wstring_view kOpenTitle = L"Open text file";
constexpr std::wstring_view kSaveTitle = L"Save text file";
constexpr std::wstring_view kLoadError = L"Error while opening file";
constexpr DWORD kOpenFlags = OFN_HIDEREADONLY;
constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT;
static_assert(kOpenFlags == 4 && kSaveFlags == 2, "the dialogs' flags are part of the design");

// What the commands work on: the window's editor and its file dialog.
struct NewsEditor {
  HWND owner;
  HWND text;
  CommonDialog& dialog;
  FileSlots& slots;
  const CodePage& code_page;
};

// Both commands turn every failure, running out of memory included, into
// their own report; no exception leaves them. The wait cursor shows while
// they read or write.

// Asks for a news file and shows its text in the editor. Cancelling keeps the
// editor's text; any failure shows kLoadError as the editor's whole text.
// Either replaces the editor's text as one step of the editor's own undo, so
// Undo (Ctrl+Z) brings back the text that was there; after Loads in a row with
// no change of the editor's text between them, the text from before the first.
void cmd_Open_Click(NewsEditor& editor);

// The part of Load after the dialog: reads `name` and shows its text in the
// editor, set once, with the caret at the start. Returns false, with
// kLoadError shown, on any failure, including a text larger than the editor
// can hold.
bool LoadNewsFile(NewsEditor& editor, const Path& name);

// Asks for a file name and writes the editor's text plus one CR LF to it.
// The editor is never changed. A failure is shown in a message box that says
// what became of the file (as a rule, nothing); text the code page cannot
// hold, and the error text of a failed Load that nobody has changed since,
// are saved only after the user agrees.
void cmd_Save_Click(NewsEditor& editor);

// The part of Save after the dialog: writes the editor's text to `name`,
// asking first if it is a failed Load's error text or if characters would be
// lost (No writes nothing), and refusing a name Windows keeps for a device.
// Returns true when the file was written; failures have been shown to the
// user, and so has a file left behind by a save that succeeded (a file of
// ours that could not be removed), with a warning. `written`, where given,
// is set to how the write ended (unchanged when no write was tried).
bool SaveNewsFile(NewsEditor& editor, const Path& name, WriteOutcome* written = nullptr);

}  // namespace tolvex
