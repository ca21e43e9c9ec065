// Files on disk through the Win32 API, with Unicode paths.
//
// A replacement is written to a new file with a short name ("~tv" plus a
// number, ".tmp") in the target's folder, flushed, and then put in the
// target's place with ReplaceFileW (an existing target keeps its attributes;
// its old content goes to a second such name, removed once the new content is
// in place) or MoveFileExW (a new target). A failure at any point leaves the
// target as it was and removes the new file, with these exceptions:
// - ReplaceFileW can fail after it has moved the target away (error 1177, and
//   1176 where a system ignores the backup name). The new file is then moved
//   into the target's place; if that fails, the old file is moved back; if
//   that fails too, both are kept and named by LeftBehind(): the new file as
//   the only copy of the new content, the old one as the only copy of the old.
//   An old file that cannot be removed after a replace that succeeded is kept
//   and named as well.
// - Where no new file may be made in the folder (access denied or a sharing
//   violation for a few names in turn; one name alone may be held by a file
//   being deleted, a folder or a scanner), an existing target is written in
//   place. Before any old byte is overwritten, the file is given the new
//   content's length by writing zeros past its old end, so that a full disk
//   fails while the file still holds its old content (it is then cut back to
//   its old length). The new content is then written over it from the start;
//   a longer old file is cut to the new length when committed. So at any
//   moment, even when the program is cut off, the file holds for some k the
//   first k bytes of the new content followed by what it held before from
//   byte k on (its old bytes, then zeros up to the new length), and once the
//   commit succeeded exactly the new content. After a failure, LeftBehind()
//   says whether the file may hold a part of the new content.
//
// Every file call goes through Win32FileApi, closing included, so that tests
// can count the calls of one command and fail or stop at any of them.
#pragma once

#include <windows.h>

#include "platform/file_system.h"

namespace tolvex {

// The system calls the file layer makes. Tests put failing ones in.
struct Win32FileApi {
  HANDLE(WINAPI* create_file)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                              HANDLE) = ::CreateFileW;
  BOOL(WINAPI* read_file)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::ReadFile;
  BOOL(WINAPI* write_file)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::WriteFile;
  BOOL(WINAPI* flush_file)(HANDLE) = ::FlushFileBuffers;
  BOOL(WINAPI* set_file_pointer)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD) = ::SetFilePointerEx;
  BOOL(WINAPI* set_end_of_file)(HANDLE) = ::SetEndOfFile;
  BOOL(WINAPI* get_file_size)(HANDLE, PLARGE_INTEGER) = ::GetFileSizeEx;
  DWORD(WINAPI* get_attributes)(LPCWSTR) = ::GetFileAttributesW;
  BOOL(WINAPI* replace_file)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) = ::ReplaceFileW;
  BOOL(WINAPI* move_file)(LPCWSTR, LPCWSTR, DWORD) = ::MoveFileExW;
  BOOL(WINAPI* delete_file)(LPCWSTR) = ::DeleteFileW;
  BOOL(WINAPI* close_handle)(HANDLE) = ::CloseHandle;
  DWORD(WINAPI* get_full_path)(LPCWSTR, DWORD, LPWSTR, LPWSTR*) = ::GetFullPathNameW;
};

// `path` in the form that is not limited to MAX_PATH characters ("\\?\C:\..."
// or "\\?\UNC\server\...") where the plain form is too long for the system's
// file calls, that is from MAX_PATH characters on; otherwise `path` as it is.
Path UnlimitedForm(const Win32FileApi& api, const Path& path);

class Win32FileSystem final : public FileSystem {
 public:
  explicit Win32FileSystem(const Win32FileApi& api = Win32FileApi()) : api_(api) {}

  Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) override;
  Status OpenReplacement(const Path& name, std::uint64_t size,
                         std::unique_ptr<ReplacementFile>& file) override;
  bool Exists(const Path& name) override;

 private:
  Win32FileApi api_;
};

}  // namespace tolvex
