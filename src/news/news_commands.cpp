#include "news/news_commands.h"

#include <cwchar>
#include <string>

#include "news/news_text_file.h"
#include "platform/error_message.h"

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

void SetEditorText(HWND text, const std::u16string& s) {
  SetWindowTextW(text, reinterpret_cast<const wchar_t*>(s.c_str()));
}

void SetEditorText(HWND text, std::wstring_view s) { SetWindowTextW(text, std::wstring(s).c_str()); }

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
  const bool pair = text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size();
  const std::wstring shown(text.begin() + static_cast<std::ptrdiff_t>(at),
                           text.begin() + static_cast<std::ptrdiff_t>(at + (pair ? 2 : 1)));
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
  SendMessageW(editor.text, EM_SETSEL, at, at + (pair ? 2 : 1));
  SendMessageW(editor.text, EM_SCROLLCARET, 0, 0);
  return false;
}

}  // namespace

void cmd_Open_Click(NewsEditor& editor) {
  CommonDialog& dialog = editor.dialog;
  PrepareDialog(dialog, kOpenTitle, kOpenFlags);
  if (dialog.ShowOpen() != 0) return SetEditorText(editor.text, kLoadError);
  if (dialog.FileName.empty()) return;
  LoadNewsFile(editor, dialog.FileName);
}

bool LoadNewsFile(NewsEditor& editor, const Path& name) {
  std::string bytes;
  if (!ReadNewsText(editor.slots, name, bytes).ok()) {
    SetEditorText(editor.text, kLoadError);
    return false;
  }
  std::u16string text = editor.code_page.Decode(bytes);
  std::string().swap(bytes);
  SetEditorText(editor.text, text);
  return true;
}

void cmd_Save_Click(NewsEditor& editor) {
  CommonDialog& dialog = editor.dialog;
  PrepareDialog(dialog, kSaveTitle, kSaveFlags);
  if (const DWORD code = dialog.ShowSave()) {
    wchar_t message[128];
    std::swprintf(message, 128, L"The Save dialog could not be shown (error 0x%04lX).",
                  static_cast<unsigned long>(code));
    return ShowError(editor.owner, message, 0);
  }
  if (dialog.FileName.empty()) return;
  SaveNewsFile(editor, dialog.FileName);
}

bool SaveNewsFile(NewsEditor& editor, const Path& name) {
  const std::u16string text = GetEditorText(editor.text);
  const CodePage::Encoded encoded = editor.code_page.Encode(text);
  if (encoded.lost > 0 && !ConfirmLossySave(editor, text, encoded)) return false;

  const Status status = WriteNewsText(editor.slots, name, encoded.bytes);
  if (!status.ok()) {
    ShowError(editor.owner,
              L"The news could not be saved to\n" + name +
                  L"\n\nThe file was not changed, and the text is still in the editor.",
              status.code());
    return false;
  }
  return true;
}

}  // namespace tolvex
