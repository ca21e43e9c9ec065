// Drives a running Tolvex from outside its process, the way a user would:
// windows are found by the target's process id, buttons clicked with posted
// BM_CLICK, keys sent as real input, texts read and written with WM_GETTEXT
// and WM_SETTEXT.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "news/news_commands.h"
#include "platform/common_dialog.h"
#include "platform/file_slots.h"
#include "platform/unique_handle.h"
#include "platform/win32_file_system.h"

namespace tolvex::driver {

// The program under test, as given on the test program's command line.
void SetTargetPath(const std::wstring& path);
std::wstring TargetPath();
// A fresh, empty folder on the prefix's drive C: for one test.
std::wstring FreshFolder(const std::wstring& name);

// Polls `done` every 10 ms until it holds or `timeout_ms` passes.
bool WaitFor(const std::function<bool()>& done, DWORD timeout_ms = 10000);

std::wstring WindowText(HWND hwnd);
// The length of a control's text without copying it (large texts); SIZE_MAX
// when the control's thread does not answer within `timeout_ms`.
std::size_t TextLength(HWND hwnd, DWORD timeout_ms = 1000);
// Polls TextLength until it is `length` or `timeout_ms` passes.
bool WaitForTextLength(HWND hwnd, std::size_t length, DWORD timeout_ms);
std::wstring ClassOf(HWND hwnd);
RECT ClientRectIn(HWND child, HWND parent);  // child's window rect in parent's client coordinates

// Top-level windows of a process, optionally only those of one class.
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* window_class = nullptr);
// A visible #32770 (message box or file dialog) of process `pid` owned by
// `owner`, once there is one; nullptr after `timeout_ms`.
HWND WaitForOwnedDialog(DWORD pid, HWND owner, DWORD timeout_ms = 10000);

// A program started in a job that kills it when the job's handle closes, so
// that a crashed test leaves no program behind holding its output open. It
// runs detached from the console, in `folder`; empty handles when it could not
// be started.
struct Launched {
  UniqueHandle job;
  UniqueHandle process;
  DWORD pid = 0;
  DWORD thread_id = 0;
};
Launched LaunchInJob(const std::wstring& exe, const std::wstring& argument,
                     const std::wstring& folder);

// A running Tolvex. Killed when destroyed (it runs in a kill-on-close job).
class Target {
 public:
  // Starts the program (`exe`, or the one under test) in `folder` (its working
  // directory) and waits for Form1.
  explicit Target(const std::wstring& folder = L"C:\\", const std::wstring& exe = L"");
  ~Target();
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;

  HWND form() const { return form_; }
  HWND control(int id) const { return GetDlgItem(form_, id); }
  DWORD pid() const { return launched_.pid; }
  HANDLE process() const { return launched_.process.get(); }

  // Waits until the target's thread is back at its message loop (or in a modal one).
  bool Sync(DWORD timeout_ms = 30000) const;
  void Click(int id) const;
  std::wstring Text(int id) const { return WindowText(control(id)); }
  void SetText(int id, const std::wstring& text) const;
  HWND Focus() const;
  // Exit code once the process has ended, or STILL_ACTIVE after `timeout_ms`.
  DWORD WaitForExit(DWORD timeout_ms = 10000) const;

  // A modal #32770 box or file dialog owned by `owner` (default: Form1).
  HWND WaitForDialog(HWND owner = nullptr, DWORD timeout_ms = 10000) const;
  bool WaitForNoDialog(HWND owner = nullptr, DWORD timeout_ms = 10000) const;

  // Brings Form1 to the front so that real keyboard input reaches it.
  void Activate() const;

 private:
  Launched launched_;
  HWND form_ = nullptr;
};

// Real keyboard input, to the foreground window.
void PressKey(WORD vk, bool shift = false, bool ctrl = false);
void TypeText(const std::wstring& text);
// A real left click at a point of the screen.
void ClickAt(POINT screen);
// A real drag with the left button, from one point of the screen to another.
void DragWithMouse(POINT from, POINT to);

// File dialog helpers (Explorer style): the name field is cmb13 (0x47C).
HWND FileNameEdit(HWND dialog);
void ChooseFile(HWND dialog, const std::wstring& name);  // types the name, clicks OK
void CancelDialog(HWND dialog);
// Clicks `button` of Form1 (Load or Save) and answers its file dialog with
// `name` ("" cancels), saying Yes if asked whether to replace a file. False
// when the dialog did not come, or did not go within `timeout_ms`.
bool ChooseThroughDialog(const Target& app, int button, const std::wstring& name,
                         DWORD timeout_ms = 10000);
// Puts `text` on the clipboard, the clipboard's only text; nullptr empties it.
bool SetClipboard(const wchar_t* text);
// The text of a message box: its static with id 0xFFFF.
std::wstring MessageBoxText(HWND box);
void ClickButton(HWND dialog, int id);

// The editor and the commands of Form1, in this process, over `fs`: a hidden
// window with the same EDIT, for calling SaveNewsFile and LoadNewsFile directly.
class LocalEditor {
 public:
  explicit LocalEditor(FileSystem& fs);
  ~LocalEditor();
  LocalEditor(const LocalEditor&) = delete;
  LocalEditor& operator=(const LocalEditor&) = delete;

  // From now on the editor drops a text longer than `characters`, set or put
  // in place of the selection, and reports success all the same, as a text
  // box does with a text it cannot hold.
  void SetCapacity(std::size_t characters) { capacity_ = characters; }

  NewsEditor& commands() { return editor_; }
  std::wstring Text() const { return WindowText(text_); }
  void SetText(const std::wstring& text) { SetWindowTextW(text_, text.c_str()); }
  // The editor's Undo, as Ctrl+Z gives it; returns the text afterwards.
  std::wstring Undo() {
    SendMessageW(text_, WM_UNDO, 0, 0);
    return Text();
  }

  // Runs a command that may show a message box; the box is answered with
  // `button` from another thread, and its text returned ("" when none came).
  template <typename Command>
  std::wstring AnsweringBoxes(int button, Command command) {
    std::wstring seen;
    std::atomic<bool> done{false};
    std::thread answer([&] {
      HWND box = nullptr;
      // A box is modal: once the command has returned, none can come.
      WaitFor([&] { return done || (box = WaitForOwnedDialog(GetCurrentProcessId(), frame_, 0)); },
              60000);
      if (!box) return;
      seen = MessageBoxText(box);
      ClickButton(box, button);
    });
    command();
    done = true;
    answer.join();
    return seen;
  }

 private:
  static LRESULT CALLBACK LimitedEdit(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR data);

  HWND frame_;
  HWND text_;
  CommonDialog dialog_;
  FileSlots slots_;
  NewsEditor editor_;
  std::size_t capacity_ = SIZE_MAX;
};

// Files, byte for byte.
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// The names in a folder, sorted.
std::vector<std::wstring> FolderNames(const std::wstring& folder);
std::string Narrow(const std::wstring& s);  // UTF-8, for test messages
// Text of plain ASCII bytes, as the editor holds it.
std::wstring Widen(const std::string& ascii);
// One "[ SEEN ]" line of what a case showed, for docs/reliability.md.
void Seen(const std::string& what);
// Compares two texts; a failure gives their lengths and where they first
// differ, never a whole text of many megabytes.
testing::AssertionResult SameText(const std::string& got, const std::string& want);
testing::AssertionResult SameText(const std::wstring& got, const std::wstring& want);


// Faults of the system calls below the replacement, which Wine does not
// produce: MoveFileExW failing, a folder where no new file may be made, or
// where every name is taken, and another program's folder at the target's
// name.
struct SystemFaults {
  DWORD move_error = 0;  // for moves whose source is there
  bool no_new_files = false;
  unsigned refused_names = 0;  // new files refused (access denied) before one is made
  bool names_taken = false;    // every new file's name is taken
  bool folder_at_target = false;  // another program puts a folder in the target's place before a move
  unsigned new_files = 0;      // new files tried (counted)
};
extern SystemFaults g_faults;  // none until a test sets some
// The file calls of the Win32 file layer, failing as g_faults says; a wait
// for another program's hold takes no time.
Win32FileApi FaultyApi();

}  // namespace tolvex::driver
