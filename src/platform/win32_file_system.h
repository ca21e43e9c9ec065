// Files on disk through the Win32 API, with Unicode paths.
//
// A replacement is written to a new file with a short name ("~tv" plus a
// number, ".tmp") in the target's folder, flushed, and then put in the
// target's place with ReplaceFileW (an existing target keeps its attributes)
// or MoveFileExW (a new one). A failure at any point leaves the target as it
// was and removes the new file, with two exceptions:
// - ReplaceFileW can fail after it has moved the target away (errors 1176 and
//   1177). The new file is then moved into the target's place; if that fails
//   too, it is kept, as the only copy of the new content, and named by
//   AfterFailure().
// - Where no new file may be made in the folder (access denied), an existing
//   target is written in place: overwritten from its start, cut to the new
//   length and flushed when committed. A failure on the way may leave a part
//   of the new content in it, as AfterFailure() says.
#pragma once

#include <windows.h>

#include "platform/file_system.h"

namespace tolvex {

// The system calls a replacement goes through. Tests put failing ones in.
struct Win32FileApi {
  HANDLE(WINAPI* create_file)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                              HANDLE) = ::CreateFileW;
  BOOL(WINAPI* replace_file)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) = ::ReplaceFileW;
  BOOL(WINAPI* move_file)(LPCWSTR, LPCWSTR, DWORD) = ::MoveFileExW;
};

class Win32FileSystem final : public FileSystem {
 public:
  explicit Win32FileSystem(const Win32FileApi& api = Win32FileApi()) : api_(api) {}

  Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) override;
  Status OpenReplacement(const Path& name, std::unique_ptr<ReplacementFile>& file) override;

 private:
  Win32FileApi api_;
};

}  // namespace tolvex
