// The system's libraries, from the system's own folder only. Windows looks for
// a library that is not one of its "known DLLs" in the program's own folder
// first, then in the current folder: a file of the same name there (in
// Downloads, say) would run inside the program.
#pragma once

#include <windows.h>

namespace tolvex {

// First thing at start-up: takes the current folder out of the search for
// libraries loaded by name, and, where the system offers it (Windows 8 and
// later, Windows 7 with update KB2533623), restricts that search to the
// system folder.
void RestrictLibrarySearch();

// Loads `name` (such as L"comdlg32.dll") from the system folder by its full
// path; nullptr when it cannot be loaded. The library stays loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Sets `function` to the export `name` of `module`, or to nullptr.
template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  // Through void(*)(), which any function pointer may be cast to and from.
  function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace tolvex
