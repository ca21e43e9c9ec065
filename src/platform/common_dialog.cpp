#include "platform/common_dialog.h"

#include <cderr.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_names.h"
#include "platform/system_library.h"

namespace tolvex {
namespace {

// Room for the longest path the file system takes.
constexpr std::size_t kNameCapacity = 32768;

// The common dialogs, and the shell libraries behind them, are loaded at the
// first dialog instead of at start-up, from the system folder.
struct DialogLibrary {
  BOOL(WINAPI* open)(OPENFILENAMEW*) = nullptr;
  BOOL(WINAPI* save)(OPENFILENAMEW*) = nullptr;
  DWORD(WINAPI* extended_error)() = nullptr;
};

const DialogLibrary& Library() {
  static const DialogLibrary library = [] {
    DialogLibrary l;
    if (HMODULE module = LoadSystemLibrary(L"comdlg32.dll")) {
      Resolve(module, "GetOpenFileNameW", l.open);
      Resolve(module, "GetSaveFileNameW", l.save);
      Resolve(module, "CommDlgExtendedError", l.extended_error);
    }
    return l;
  }();
  return library;
}

// Guarding the dialog's OK against names too long for it, and names of
// devices.
//
// When OK is pressed (the button, Enter, or a double click on a file), the
// system dialog puts the folder and the typed name together in a buffer of
// MAX_PATH characters, and adds the default extension to a name without one.
// Wine's dialog does so without checking the length and overruns the buffer
// for a longer name, which ends the program; on Windows, such a path cannot
// be used either. A name Windows keeps for a device (NUL, "com1.txt") the
// dialog takes for a file that is there: the Save dialog asks whether to
// replace it, and the Open dialog returns it, for Load to fail on. The hook
// subclasses the dialog window, and an OK with such a name is answered with a
// message while the dialog stays open.
struct NameGuard {
  std::size_t extension_room;  // what the dialog may add to a name without extension
  WNDPROC base = nullptr;      // the dialog window's own procedure
};

// The guard of a dialog window, kept as one of its properties while it lives.
constexpr wchar_t kGuardProperty[] = L"TolvexNameGuard";
// A folder without a file-system path (the desktop's virtual folders) is
// named by its parsing name, "::{GUID}" and the like, nested ones joined by
// "\\", which CDM_GETFOLDERPATH does not give; the shell does
// (VirtualFolderName). Where it cannot, room for one such name is counted.
constexpr std::size_t kVirtualFolderLength = 64;

// The parsing name of the dialog's folder, as the dialog joins it to a typed
// name, in `name` (MAX_PATH characters); false when the shell cannot tell it.
// No memory of the program's is used: this runs inside the dialog's window
// procedure.
bool VirtualFolderName(HWND dialog, wchar_t* name) {
  struct Shell {
    HRESULT(WINAPI* desktop)(IShellFolder**) = nullptr;
    HRESULT(WINAPI* to_buffer)(STRRET*, LPCITEMIDLIST, LPWSTR, UINT) = nullptr;
  };
  static const Shell shell = [] {
    Shell s;
    Resolve(LoadSystemLibrary(L"shell32.dll"), "SHGetDesktopFolder", s.desktop);
    Resolve(LoadSystemLibrary(L"shlwapi.dll"), "StrRetToBufW", s.to_buffer);
    return s;
  }();
  if (!shell.desktop || !shell.to_buffer) return false;
  const LRESULT size = SendMessageW(dialog, CDM_GETFOLDERIDLIST, 0, 0);
  if (size <= 0) return false;
  void* list = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(size));
  if (!list) return false;
  bool named = false;
  IShellFolder* desktop = nullptr;
  if (SendMessageW(dialog, CDM_GETFOLDERIDLIST, static_cast<WPARAM>(size),
                   reinterpret_cast<LPARAM>(list)) > 0 &&
      SUCCEEDED(shell.desktop(&desktop)) && desktop) {
    const auto item = static_cast<LPCITEMIDLIST>(list);
    STRRET parsing{};
    named = SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &parsing)) &&
            SUCCEEDED(shell.to_buffer(&parsing, item, name, MAX_PATH));
    desktop->Release();
  }
  LocalFree(list);
  return named;
}

HWND NameEdit(HWND dialog) {
  HWND field = GetDlgItem(dialog, cmb13);
  if (!field) return GetDlgItem(dialog, edt1);
  wchar_t name[32] = L"";
  GetClassNameW(field, name, 32);
  if (lstrcmpiW(name, L"ComboBoxEx32") == 0) {
    field = reinterpret_cast<HWND>(SendMessageW(field, CBEM_GETEDITCONTROL, 0, 0));
  } else if (lstrcmpiW(name, L"ComboBox") == 0) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(field, &info) && info.hwndItem) field = info.hwndItem;
  }
  return field;
}

// The whole text of the dialog's name field, however long (the message
// counts the whole path); false when there is no memory for it.
bool FieldText(HWND dialog, std::wstring& typed) {
  HWND edit = NameEdit(dialog);
  if (!edit) return true;
  try {
    typed.resize(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  typed.resize(static_cast<std::size_t>(
      GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
  return true;
}

// The length of the path the dialog will build on OK from its folder and the
// typed `name`; SIZE_MAX when it is longer than the dialog can tell us in
// MAX_PATH characters.
std::size_t PathLengthOnOk(HWND dialog, const NameGuard& guard, std::wstring_view name) {
  if (name.empty()) return 0;  // nothing typed: the dialog opens the selection or does nothing

  wchar_t folder[MAX_PATH] = L"";
  const LRESULT got = SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH,
                                   reinterpret_cast<LPARAM>(folder));
  if (got > MAX_PATH) return SIZE_MAX;
  if (got <= 1 && !VirtualFolderName(dialog, folder)) {
    std::wmemset(folder, L':', kVirtualFolderLength);
    folder[kVirtualFolderLength] = L'\0';
  }
  return JoinedPathLength(folder, name, guard.extension_room);
}

// Answers an OK that the dialog must not act on with a message owned by the
// dialog, under its title; true when it did, and the dialog stays open.
bool RefusedOk(HWND dialog, const NameGuard& guard) {
  std::wstring typed;
  const bool read = FieldText(dialog, typed);
  const std::wstring_view name = TypedName(typed);
  const std::size_t length = read ? PathLengthOnOk(dialog, guard, name) : SIZE_MAX;
  wchar_t title[128] = L"";
  GetWindowTextW(dialog, title, 128);
  if (length >= MAX_PATH) {
    wchar_t text[512];
    std::swprintf(text, 512,
                  L"The file name is too long.\n\nThe folder and the file name together may "
                  L"have at most %d characters, the extension included; here they would have "
                  L"%ls%u.\n\nChoose a shorter name or a folder nearer the top of the drive.",
                  MAX_PATH - 1, length == SIZE_MAX ? L"more than " : L"",
                  static_cast<unsigned>(length == SIZE_MAX ? MAX_PATH : length));
    MessageBoxW(dialog, text, title, MB_OK | MB_ICONWARNING);
    return true;
  }
  if (IsDeviceName(name)) {
    // The name fits in MAX_PATH characters, as its path does.
    wchar_t text[MAX_PATH + 512];
    std::swprintf(text, MAX_PATH + 512, L"%.*ls\n\n%.*ls", static_cast<int>(name.size()),
                  name.data(), static_cast<int>(kDeviceNameAdvice.size()), kDeviceNameAdvice.data());
    MessageBoxW(dialog, text, title, MB_OK | MB_ICONWARNING);
    return true;
  }
  return false;
}

// Subclassed by hand rather than with SetWindowSubclass, which Windows XP's
// common controls export by ordinal only.
LRESULT CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                   LPARAM lparam) noexcept {
  auto* guard = static_cast<NameGuard*>(GetPropW(dialog, kGuardProperty));
  if (!guard) return DefWindowProcW(dialog, message, wparam, lparam);  // not reached
  const WNDPROC base = guard->base;
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK && RefusedOk(dialog, *guard)) return 0;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
    RemovePropW(dialog, kGuardProperty);
  }
  return CallWindowProcW(base, dialog, message, wparam, lparam);
}

// The Explorer-style hook: its (empty) dialog is a child of the file dialog.
UINT_PTR CALLBACK DialogHook(HWND hook, UINT message, WPARAM, LPARAM lparam) noexcept {
  if (message == WM_INITDIALOG) {
    auto* guard = reinterpret_cast<NameGuard*>(reinterpret_cast<const OPENFILENAMEW*>(lparam)->lCustData);
    HWND dialog = GetParent(hook);
    if (SetPropW(dialog, kGuardProperty, guard)) {
      guard->base = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GuardedDialogProc)));
    }
  }
  return 0;
}

// Wine's dialogs, and Windows' Explorer-style dialog before Vista, build the
// chosen path in a buffer of MAX_PATH characters. From Vista on, Windows shows
// its newer dialog, which checks the name's length itself, and which any hook
// would replace with the older one: there the dialog goes without the guard,
// and a device's name is refused by Load and Save once the dialog returns it.
bool NeedsNameGuard() {
  static const bool needed = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version")) return true;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return !GetVersionExW(&version) || version.dwMajorVersion < 6;
  }();
  return needed;
}

// Room for the extension the dialog adds to a name without one: "." and the
// extension of the first filter's first pattern ("*.txt" gives "txt") where it
// has no wildcard, or else the default extension; the longer of the two, as
// dialogs differ in which they take. Nothing without a default extension.
std::size_t ExtensionRoom(const std::wstring& default_ext, const std::wstring& filter) {
  if (default_ext.empty()) return 0;
  std::wstring_view pattern(filter);
  const std::size_t bar = pattern.find(L'|');
  pattern = bar == std::wstring_view::npos ? std::wstring_view() : pattern.substr(bar + 1);
  pattern = pattern.substr(0, pattern.find_first_of(L"|;"));
  std::size_t longest = default_ext.size();
  const std::size_t dot = ShellExtension(pattern);
  if (dot != std::wstring_view::npos) {
    const std::wstring_view extension = pattern.substr(dot + 1);
    if (extension.find_first_of(L"*?") == std::wstring_view::npos) {
      longest = std::max(longest, extension.size());
    }
  }
  return longest + 1;
}

// Makes the folder of the chosen file `path` the working folder, where that
// folder exists. Windows' file dialogs do so themselves unless asked not to
// (OFN_NOCHANGEDIR), for a name picked in the list and for a full path typed
// in another folder alike, so that the next dialog starts where the chosen
// file is; Wine's leave the working folder where the dialog was shown when a
// full path was typed. Needs no memory of the program's.
void MoveToTheFolderOf(wchar_t* path) {
  wchar_t* const slash = std::wcsrchr(path, L'\\');
  if (!slash) return;
  const wchar_t kept = slash[1];
  slash[1] = L'\0';  // "C:\news\" of "C:\news\today.txt", "C:\" of "C:\today.txt"
  SetCurrentDirectoryW(path);
  slash[1] = kept;
}

}  // namespace

std::wstring FilterPairs(const std::wstring& filter) {
  std::wstring pairs = filter;
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  pairs.push_back(L'\0');
  pairs.push_back(L'\0');
  return pairs;
}

DWORD CommonDialog::Show(bool save) {
  const DialogLibrary& library = Library();
  const auto show = save ? library.save : library.open;
  if (!show || !library.extended_error) {
    FileName.clear();
    return CDERR_INITIALIZATION;
  }

  std::vector<wchar_t> name(kNameCapacity, L'\0');
  const std::size_t slash = FileName.find_last_of(L"\\/");
  const std::wstring last = slash == std::wstring::npos ? FileName : FileName.substr(slash + 1);
  if (last.size() < kNameCapacity) last.copy(name.data(), last.size());

  const std::wstring filter = FilterPairs(Filter);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner_;
  ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrInitialDir = InitDir.empty() ? nullptr : InitDir.c_str();
  ofn.lpstrTitle = DialogTitle.empty() ? nullptr : DialogTitle.c_str();
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.Flags = Flags;
  // The hook has no template of its own: the dialog looks as without it.
  NameGuard guard{ExtensionRoom(DefaultExt, Filter)};
  if (NeedsNameGuard()) {
    // With a hook, the dialog can be resized only when asked to.
    ofn.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    ofn.lpfnHook = DialogHook;
    ofn.lCustData = reinterpret_cast<LPARAM>(&guard);
  }

  FileName.clear();
  if (show(&ofn)) {
    FileName = name.data();
    if (!(Flags & OFN_NOCHANGEDIR)) MoveToTheFolderOf(name.data());
    return 0;
  }
  return library.extended_error();
}

}  // namespace tolvex
