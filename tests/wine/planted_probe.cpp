// Loads comctl32.dll, comdlg32.dll and oleacc.dll by name, as a program must
// not: from a folder holding planted libraries of those names, it runs their
// code. It shows that the planted libraries and the test's settings work.
#include <windows.h>

int wmain() {
  const bool loaded = LoadLibraryW(L"comctl32.dll") && LoadLibraryW(L"comdlg32.dll") &&
                      LoadLibraryW(L"oleacc.dll");
  return loaded ? 0 : 1;
}
