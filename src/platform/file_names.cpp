#include "platform/file_names.h"

namespace tolvex {

bool IsDeviceName(std::wstring_view path) {
  std::wstring_view name = path.substr(path.find_last_of(L"\\/") + 1);
  if (name.size() >= 2 && name[1] == L':') name.remove_prefix(2);  // "C:nul"
  // The system reads the device's name up to the first dot (or the colon of
  // "COM1:"), without the blanks before it.
  name = name.substr(0, name.find_first_of(L".:"));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  if (name.size() != 3 && name.size() != 4) return false;
  wchar_t upper[4] = {};
  for (std::size_t i = 0; i < name.size(); ++i) {
    upper[i] = name[i] >= L'a' && name[i] <= L'z' ? static_cast<wchar_t>(name[i] - L'a' + L'A') : name[i];
  }
  const std::wstring_view base(upper, 3);
  if (name.size() == 3) return base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL";
  return (base == L"COM" || base == L"LPT") && upper[3] >= L'1' && upper[3] <= L'9';
}

}  // namespace tolvex
