// Rules for file names on Windows: the names Windows keeps for devices, and
// the file dialogs' rules for a name typed into them, by which the dialog's
// name guard counts the path before the dialog builds it.
#pragma once

#include <cstddef>
#include <string_view>

namespace tolvex {

// Whether the last part of `path` is a name Windows keeps for a device, in
// any case, with any extension and with trailing blanks or dots: CON, PRN,
// AUX, NUL, COM1 to COM9 and LPT1 to LPT9, COM and LPT with a superscript
// digit (¹, ² or ³, which Windows counts as digits there), and the console's
// CONIN$ and CONOUT$. "nul.txt", "Com1 .log", "COM².txt", "conin$.txt" and
// "aux..." open the device, not a file, in any folder. COM0 and LPT0 are
// plain names.
bool IsDeviceName(std::wstring_view path);

// What the user is told of a name IsDeviceName holds, wherever it is refused.
constexpr std::wstring_view kDeviceNameAdvice =
    L"This name belongs to a device of Windows (such as NUL, CON, AUX, PRN, COM1, LPT1 or "
    L"CONIN$), with or without an extension, not to a file. Choose another name.";

// The file dialogs' rules for a name typed into them, which the dialog's name
// guard counts by before the dialog builds the path.

// The name the dialog takes from what was typed: a name in quotes ("a b.txt",
// the way to type one with blanks) without its quotes; else all of it.
std::wstring_view TypedName(std::wstring_view typed);

// Where the shell's extension finder (PathFindExtensionW) puts a name's
// extension: the last dot after which no backslash and no blank follow;
// npos when there is none. A slash ends nothing here.
std::size_t ShellExtension(std::wstring_view name);

// The length of the path the dialog builds from its folder and a typed name:
// a name is taken whole when it has a drive ("X:"), joined to the folder's
// drive when it starts with a backslash, and otherwise joined to the folder
// with one backslash between them (a name starting with '/' too); and a name
// without an extension gets `extension_room` more ("." and the extension).
std::size_t JoinedPathLength(std::wstring_view folder, std::wstring_view name,
                             std::size_t extension_room);

}  // namespace tolvex
