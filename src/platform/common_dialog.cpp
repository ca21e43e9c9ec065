#include "platform/common_dialog.h"

#include <vector>

namespace tolvex {
namespace {

// Room for the longest path the file system takes.
constexpr std::size_t kNameCapacity = 32768;

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

DWORD CommonDialog::Show(BOOL(WINAPI* show)(OPENFILENAMEW*)) {
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
  return CommDlgExtendedError();
}

}  // namespace tolvex
