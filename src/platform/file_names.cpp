#include "platform/file_names.h"

#include <algorithm>

namespace tolvex {

bool IsDeviceName(std::wstring_view path) {
  std::wstring_view name = path.substr(path.find_last_of(L"\\/") + 1);
  if (name.size() >= 2 && name[1] == L':') name.remove_prefix(2);  // "C:nul"
  // The system reads the device's name up to the first dot (or the colon of
  // "COM1:"), without the blanks before it.
  name = name.substr(0, name.find_first_of(L".:"));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  constexpr std::size_t kLongest = 7;  // CONOUT$
  if (name.size() < 3 || name.size() > kLongest) return false;
  wchar_t upper[kLongest] = {};
  for (std::size_t i = 0; i < name.size(); ++i) {
    upper[i] = name[i] >= L'a' && name[i] <= L'z' ? static_cast<wchar_t>(name[i] - L'a' + L'A') : name[i];
  }
  const std::wstring_view word(upper, name.size());
  if (word == L"CON" || word == L"PRN" || word == L"AUX" || word == L"NUL" ||
      word == L"CONIN$" || word == L"CONOUT$") {
    return true;
  }
  if (word.size() != 4 || (word.substr(0, 3) != L"COM" && word.substr(0, 3) != L"LPT")) return false;
  // The port's number: 1 to 9, or a superscript 1, 2 or 3.
  const wchar_t digit = word[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

std::wstring_view TypedName(std::wstring_view typed) {
  if (const std::size_t open = typed.find(L'"'); open != std::wstring_view::npos) {
    typed.remove_prefix(open + 1);
    typed = typed.substr(0, typed.find(L'"'));
  }
  return typed;
}

std::size_t ShellExtension(std::wstring_view name) {
  std::size_t dot = std::wstring_view::npos;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == L'\\' || name[i] == L' ') {
      dot = std::wstring_view::npos;
    } else if (name[i] == L'.') {
      dot = i;
    }
  }
  return dot;
}

std::size_t JoinedPathLength(std::wstring_view folder, std::wstring_view name,
                             std::size_t extension_room) {
  std::size_t total = name.size();
  const bool drive = name.size() >= 2 && name[1] == L':' &&
                     ((name[0] | 0x20) >= L'a' && (name[0] | 0x20) <= L'z');
  if (!drive) {
    if (name.size() >= 2 && name[1] == L':') {
      total += 2;  // "1:..." is no drive, but no relative name either
    } else if (!name.empty() && name[0] == L'\\') {
      total += std::min<std::size_t>(folder.size(), 2);  // the folder's drive, "C:"
    } else {
      total += folder.size() + (folder.empty() || folder.back() != L'\\' ? 1 : 0);
    }
  }
  if (ShellExtension(name) == std::wstring_view::npos) total += extension_room;
  return total;
}

}  // namespace tolvex
