// Files on disk through the Win32 API, with Unicode paths.
//
// A replacement is written to a new file with a short name ("~tv" plus a
// number, ".tmp") in the target's folder, flushed, and then put in the
// target's place with ReplaceFileW (an existing target keeps its attributes;
// its old content goes to a second such name, removed once the new content is
// in place) or MoveFileExW (a new target).
//
// Another program may hold a file for a moment (a virus scanner, the search
// indexer, a sync client; the game its news file): where a call that opens,
// replaces, moves or removes a file fails with a sharing violation, a lock
// violation or access denied, it is made again, 100 ms later, for up to about
// 2 s in all for one command.
//
// After a failure, what is on disk decides the outcome, not the error code
// alone: a target that is there beside no copy of the old file is untouched
// and the new file is removed; a target that is gone is given the new file,
// or else the old file back. What cannot be removed, and what can neither be
// put in place nor removed safely, is kept and named by the outcome; a copy
// of the old file is never removed while the target holds neither the new
// content nor the old.
//
// Where no new file may be made in the folder (access denied or a sharing
// violation for a few names in turn; one name alone may be held by a file
// being deleted, a folder or a scanner), an existing target is written in
// place. The bytes of the new content that go past the old end (its tail)
// are written there as they come, so that a full disk fails while the old
// bytes are untouched (the file is then cut back to its old length); the
// bytes that go over old ones are kept in memory and written from the start
// at the commit, which then cuts a longer old file to the new length. So at
// any moment, even when the program is cut off, the file holds for some k the
// first k bytes of the new content, then its old bytes from k on, then the
// new content's own bytes from the old length on, up to some length; and once
// the commit succeeded exactly the new content. It never holds a byte that is
// in neither content.
//
// Every file call goes through Win32FileApi, closing included, so that tests
// can count the calls of one command and fail or stop at any of them.
#pragma once

#include <windows.h>

#include "platform/file_names.h"
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
  // Waiting out another program's hold on a file.
  void(WINAPI* sleep)(DWORD) = ::Sleep;
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
