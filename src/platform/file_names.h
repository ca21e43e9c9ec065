// Rules for file names that hold on Windows whatever the file system.
#pragma once

#include <string_view>

namespace tolvex {

// Whether the last part of `path` is a name Windows keeps for a device (CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9) in any case, with any extension
// and with trailing blanks or dots: "nul.txt", "Com1 .log" and "aux..." open
// the device, not a file, in any folder.
bool IsDeviceName(std::wstring_view path);

}  // namespace tolvex
