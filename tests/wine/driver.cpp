#include "driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "app/editor_style.h"
#include "platform/editor.h"
#include "platform/system_code_page.h"

namespace tolvex::driver {
namespace {

std::wstring g_target;

struct FindTop {
  DWORD pid;
  const wchar_t* window_class;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM param) {
  auto* find = reinterpret_cast<FindTop*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == find->pid && (!find->window_class || ClassOf(hwnd) == find->window_class)) {
    find->found.push_back(hwnd);
  }
  return TRUE;
}

BOOL CALLBACK CollectStatics(HWND hwnd, LPARAM param) {
  auto* text = reinterpret_cast<std::wstring*>(param);
  if (ClassOf(hwnd) == L"Static" && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    text->append(WindowText(hwnd));
  }
  return TRUE;
}

// One key event, to go with others into one SendInput call.
INPUT KeyEvent(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

}  // namespace

void SetTargetPath(const std::wstring& path) { g_target = path; }
std::wstring TargetPath() { return g_target; }

std::wstring FreshFolder(const std::wstring& name) {
  CreateDirectoryW(L"C:\\tests", nullptr);
  static int counter = 0;
  const std::wstring folder = L"C:\\tests\\" + name + L"-" + std::to_wstring(++counter);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

bool WaitFor(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(10);
  }
}

// Not SMTO_ABORTIFHUNG: a thread that has not read its queue for a while (a
// test's own thread, just entering a message box) counts as hung at first.
std::wstring WindowText(HWND hwnd) {
  const std::size_t length = TextLength(hwnd, 30000);
  if (length == SIZE_MAX) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_NORMAL, 30000, &got);
  text.resize(got);
  return text;
}

std::size_t TextLength(HWND hwnd, DWORD timeout_ms) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout_ms, &length)) {
    return SIZE_MAX;
  }
  return length;
}

bool WaitForTextLength(HWND hwnd, std::size_t length, DWORD timeout_ms) {
  return WaitFor([&] { return TextLength(hwnd) == length; }, timeout_ms);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = L"";
  GetClassNameW(hwnd, name, 64);
  return name;
}

RECT ClientRectIn(HWND child, HWND parent) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* window_class) {
  FindTop find{pid, window_class, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND WaitForOwnedDialog(DWORD pid, HWND owner, DWORD timeout_ms) {
  HWND dialog = nullptr;
  WaitFor(
      [&] {
        for (HWND h : TopWindows(pid, L"#32770")) {
          if (GetWindow(h, GW_OWNER) == owner && IsWindowVisible(h)) dialog = h;
        }
        return dialog != nullptr;
      },
      timeout_ms);
  return dialog;
}

Launched LaunchInJob(const std::wstring& exe, const std::wstring& argument,
                     const std::wstring& folder) {
  Launched launched;
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

  std::wstring command = L"\"" + exe + L"\"";
  if (!argument.empty()) command += L" \"" + argument + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED | DETACHED_PROCESS, nullptr, folder.c_str(), &si, &pi)) {
    return launched;
  }
  launched.job = std::move(job);
  launched.process.reset(pi.hProcess);
  UniqueHandle thread(pi.hThread);
  launched.pid = pi.dwProcessId;
  launched.thread_id = pi.dwThreadId;
  AssignProcessToJobObject(launched.job.get(), launched.process.get());
  ResumeThread(thread.get());
  return launched;
}

Target::Target(const std::wstring& folder, const std::wstring& exe)
    : launched_(LaunchInJob(exe.empty() ? TargetPath() : exe, L"", folder)) {
  if (!launched_.process) return;
  WaitFor([&] {
    for (HWND h : TopWindows(pid(), L"TolvexForm1")) {
      if (IsWindowVisible(h)) form_ = h;
    }
    return form_ != nullptr;
  });
  Sync();
}

Target::~Target() {
  if (launched_.process) {
    TerminateProcess(launched_.process.get(), 1);
    WaitForSingleObject(launched_.process.get(), 5000);
  }
}

bool Target::Sync(DWORD timeout_ms) const {
  DWORD_PTR result = 0;
  return form_ && IsWindow(form_) &&
         SendMessageTimeoutW(form_, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
}

void Target::Click(int id) const { PostMessageW(control(id), BM_CLICK, 0, 0); }

void Target::SetText(int id, const std::wstring& text) const {
  SendMessageW(control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

HWND Target::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(launched_.thread_id, &info) ? info.hwndFocus : nullptr;
}

DWORD Target::WaitForExit(DWORD timeout_ms) const {
  WaitForSingleObject(process(), timeout_ms);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process(), &code);
  return code;
}

HWND Target::WaitForDialog(HWND owner, DWORD timeout_ms) const {
  return WaitForOwnedDialog(pid(), owner ? owner : form_, timeout_ms);
}

bool Target::WaitForNoDialog(HWND owner, DWORD timeout_ms) const {
  if (!owner) owner = form_;
  return WaitFor(
      [&] {
        for (HWND h : TopWindows(pid(), L"#32770")) {
          if (GetWindow(h, GW_OWNER) == owner && IsWindowVisible(h)) return false;
        }
        return true;
      },
      timeout_ms);
}

void Target::Activate() const {
  SetForegroundWindow(form_);
  WaitFor([&] { return GetForegroundWindow() == form_; }, 2000);
  Sync();
}

void PressKey(WORD vk, bool shift, bool ctrl) {
  // One call, so that no other input comes between the modifiers and the key.
  std::vector<INPUT> in;
  if (ctrl) in.push_back(KeyEvent(VK_CONTROL, false));
  if (shift) in.push_back(KeyEvent(VK_SHIFT, false));
  in.push_back(KeyEvent(vk, false));
  in.push_back(KeyEvent(vk, true));
  if (shift) in.push_back(KeyEvent(VK_SHIFT, true));
  if (ctrl) in.push_back(KeyEvent(VK_CONTROL, true));
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void TypeText(const std::wstring& text) {
  for (wchar_t c : text) {
    INPUT in[2]{};
    for (int i = 0; i < 2; ++i) {
      in[i].type = INPUT_KEYBOARD;
      in[i].ki.wScan = c;
      in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, in, sizeof in[0]);
  }
}

void ClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof in[0]);
}

void DragWithMouse(POINT from, POINT to) {
  SetCursorPos(from.x, from.y);
  auto send = [](DWORD flags, POINT at) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
    Sleep(50);
  };
  send(MOUSEEVENTF_LEFTDOWN, from);
  for (int step = 1; step <= 4; ++step) {
    send(0, {from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4});
  }
  send(MOUSEEVENTF_LEFTUP, to);
}

HWND FileNameEdit(HWND dialog) {
  HWND field = GetDlgItem(dialog, 0x47C);
  if (field && ClassOf(field) == L"ComboBoxEx32") {
    HWND combo = FindWindowExW(field, nullptr, L"ComboBox", nullptr);
    HWND edit = combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
    if (edit) return edit;
  }
  return field ? field : GetDlgItem(dialog, 0x480);
}

void ChooseFile(HWND dialog, const std::wstring& name) {
  SendMessageW(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  ClickButton(dialog, IDOK);
}

void CancelDialog(HWND dialog) { ClickButton(dialog, IDCANCEL); }

bool ChooseThroughDialog(const Target& app, int button, const std::wstring& name,
                         DWORD timeout_ms) {
  app.Click(button);
  HWND dialog = app.WaitForDialog();
  if (!dialog) return false;
  if (name.empty()) {
    CancelDialog(dialog);
  } else {
    ChooseFile(dialog, name);
  }
  bool asked = false;
  return WaitFor(
      [&] {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return true;
        HWND question = asked ? nullptr : WaitForOwnedDialog(app.pid(), dialog, 0);
        if (question) {
          ClickButton(question, IDYES);
          asked = true;
        }
        return false;
      },
      timeout_ms);
}

void ClickButton(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool SetClipboard(const wchar_t* text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool ok = true;
  if (text) {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes);
    ok = data != nullptr;
    if (data) {
      std::memcpy(GlobalLock(data), text, bytes);
      GlobalUnlock(data);
      if (!SetClipboardData(CF_UNICODETEXT, data)) {
        GlobalFree(data);
        ok = false;
      }
    }
  }
  CloseClipboard();
  return ok;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  EnumChildWindows(box, CollectStatics, reinterpret_cast<LPARAM>(&text));
  return text;
}

LocalEditor::LocalEditor(FileSystem& fs)
    : frame_(CreateWindowExW(0, L"STATIC", L"Tolvex", WS_OVERLAPPEDWINDOW, 0, 0, 540, 524,
                             nullptr, nullptr, nullptr, nullptr)),
      text_(CreateWindowExW(kEditorExStyle, L"EDIT", L"", kEditorStyle, 5, 46, 522, 348, frame_,
                            nullptr, nullptr, nullptr)),
      dialog_(frame_),
      slots_(fs),
      editor_{frame_, text_, dialog_, slots_, SystemCodePage()} {
  SetUpEditor(text_);
  SetWindowSubclass(text_, LimitedEdit, 1, reinterpret_cast<DWORD_PTR>(this));
}

LocalEditor::~LocalEditor() { DestroyWindow(frame_); }

LRESULT CALLBACK LocalEditor::LimitedEdit(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR id, DWORD_PTR data) {
  const auto* self = reinterpret_cast<const LocalEditor*>(data);
  if ((message == WM_SETTEXT || message == EM_REPLACESEL) && lparam &&
      std::wcslen(reinterpret_cast<const wchar_t*>(lparam)) > self->capacity_) {
    return message == WM_SETTEXT;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, LimitedEdit, id);
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

std::string ReadFileBytes(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return "<missing>";
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) || written != bytes.size()) {
    std::abort();
  }
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Narrow(const std::wstring& s) {
  std::string out(s.size() * 3 + 1, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, s.c_str(),
                                                          static_cast<int>(s.size()), out.data(),
                                                          static_cast<int>(out.size()), nullptr,
                                                          nullptr)));
  return out;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void Seen(const std::string& what) {
  std::printf("[   SEEN   ] %s\n", what.c_str());
  std::fflush(stdout);
}

namespace {
// Up to 40 characters of `text` from `at`, others than printable ASCII as \xNN.
template <typename Text>
std::string Excerpt(const Text& text, std::size_t at) {
  std::string out;
  for (std::size_t i = at; i < text.size() && i < at + 40; ++i) {
    const auto c = static_cast<unsigned>(static_cast<std::make_unsigned_t<typename Text::value_type>>(text[i]));
    char hex[16];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return out;
}

template <typename Text>
testing::AssertionResult SameTextOf(const Text& got, const Text& want) {
  if (got == want) return testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  return testing::AssertionFailure() << "texts of " << got.size() << " and " << want.size()
                                     << " characters first differ at " << at << ": \"" << Excerpt(got, at)
                                     << "\" where \"" << Excerpt(want, at) << "\" is expected";
}
}  // namespace

testing::AssertionResult SameText(const std::string& got, const std::string& want) { return SameTextOf(got, want); }
testing::AssertionResult SameText(const std::wstring& got, const std::wstring& want) { return SameTextOf(got, want); }

SystemFaults g_faults;

namespace {

void WINAPI NoWait(DWORD) {}

// A move whose source is there fails with the error given; one whose source
// is not fails as the system's does.
BOOL WINAPI FaultyMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (g_faults.folder_at_target && DeleteFileW(to)) CreateDirectoryW(to, nullptr);
  if (!g_faults.move_error) return MoveFileExW(from, to, flags);
  SetLastError(GetFileAttributesW(from) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                   : g_faults.move_error);
  return FALSE;
}

HANDLE WINAPI FaultyCreate(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE model) {
  const bool new_file = disposition == CREATE_NEW || disposition == CREATE_ALWAYS;
  g_faults.new_files += new_file;
  if (new_file && g_faults.names_taken) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (new_file && (g_faults.no_new_files || g_faults.refused_names > 0)) {
    if (g_faults.refused_names > 0) --g_faults.refused_names;
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(name, access, share, security, disposition, flags, model);
}

}  // namespace

Win32FileApi FaultyApi() {
  Win32FileApi api;
  api.create_file = FaultyCreate;
  api.move_file = FaultyMove;
  api.sleep = NoWait;
  return api;
}

}  // namespace tolvex::driver
