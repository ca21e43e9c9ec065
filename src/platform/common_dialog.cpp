#include "platform/common_dialog.h"

#include <cderr.h>

#include <vector>

namespace tolvex {
namespace {

// Room for the longest path the file system takes.
constexpr std::size_t kNameCapacity = 32768;

// The common dialogs, and the shell libraries behind them, are loaded at the
// first dialog instead of at start-up.
struct DialogLibrary {
  BOOL(WINAPI* open)(OPENFILENAMEW*) = nullptr;
  BOOL(WINAPI* save)(OPENFILENAMEW*) = nullptr;
  DWORD(WINAPI* extended_error)() = nullptr;
};

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  // Through void(*)(), which any function pointer may be cast to and from.
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const DialogLibrary& Library() {
  static const DialogLibrary library = [] {
    DialogLibrary l;
    if (HMODULE module = LoadLibraryW(L"comdlg32.dll")) {
      Resolve(module, "GetOpenFileNameW", l.open);
      Resolve(module, "GetSaveFileNameW", l.save);
      Resolve(module, "CommDlgExtendedError", l.extended_error);
    }
    return l;
  }();
  return library;
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
  ofn.Flags = Flags;
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();

  FileName.clear();
  if (show(&ofn)) {
    FileName = name.data();
    return 0;
  }
  return library.extended_error();
}

}  // namespace tolvex
