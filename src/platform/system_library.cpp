#include "platform/system_library.h"

#include <cwchar>
#include <iterator>

namespace tolvex {

void RestrictLibrarySearch() {
  // Windows XP SP1 and later: the current folder is no longer searched.
  SetDllDirectoryW(L"");
  BOOL(WINAPI * set_default_directories)(DWORD) = nullptr;
  Resolve(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories", set_default_directories);
  if (set_default_directories) set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH + 32];
  std::size_t length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  if (path[length - 1] != L'\\') path[length++] = L'\\';
  const std::size_t name_length = std::wcslen(name);
  if (length + name_length >= std::size(path)) return nullptr;
  std::wmemcpy(path + length, name, name_length + 1);
  // The libraries it needs in turn are looked for in the system folder first,
  // not in the program's.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tolvex
