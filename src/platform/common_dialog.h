// The file dialog component of the main window: a small stand-in for the
// classic common dialog control, over GetOpenFileNameW and GetSaveFileNameW.
//
// It keeps its settings and its last file name between uses. The folder part
// of the last name is not passed on: the dialog starts in InitDir and offers
// the last name's file part. Once a dialog has returned a name, the working
// folder is that file's folder (unless Flags hold OFN_NOCHANGEDIR), on every
// system, as Windows' own dialog makes it.
//
// Where the system's dialog builds the chosen path in MAX_PATH characters
// (Wine, and Windows before Vista), it asks, besides Flags, for an
// Explorer-style hook of its own (no template, so the dialog looks the same):
// an OK whose folder and name together would not fit, or whose name Windows
// keeps for a device (IsDeviceName), is answered with a message, and the
// dialog stays open.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

namespace tolvex {

class CommonDialog {
 public:
  explicit CommonDialog(HWND owner = nullptr) : owner_(owner) {}

  // The window the dialogs belong to, disabled while one is open.
  void set_owner(HWND owner) { owner_ = owner; }

  std::wstring InitDir;
  // "description|pattern", pairs separated by '|', e.g. "Text (*.txt)|*.txt".
  std::wstring Filter;
  std::wstring DialogTitle;
  DWORD Flags = 0;
  // The chosen file's full path; empty after the user cancels.
  std::wstring FileName;
  // Added to a name typed without an extension.
  std::wstring DefaultExt = L"txt";

  // Show the modal dialog. Return 0 when the dialog ran, whether the user
  // chose a file or cancelled; otherwise the CommDlgExtendedError code, with
  // FileName empty.
  DWORD ShowOpen() { return Show(false); }
  DWORD ShowSave() { return Show(true); }

 private:
  DWORD Show(bool save);

  HWND owner_;
};

// "a|b|c|d" as the dialog wants it: "a\0b\0c\0d\0\0".
std::wstring FilterPairs(const std::wstring& filter);

}  // namespace tolvex
