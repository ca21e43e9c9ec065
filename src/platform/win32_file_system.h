// Files on disk through the Win32 API, with Unicode paths.
//
// Save: the new content is written to a new file with a short name ("~tv"
// plus a number, ".tmp") in the target's folder, given the target's
// attributes and creation time, flushed, and put in the target's place with
// one rename, MoveFileExW with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH. The rename replaces the directory entry in one step
// (NTFS, FAT, and under Wine a rename(2)): at every moment the target's name
// holds the whole old content or the whole new one. No second rename and no
// backup name: a failed rename leaves the target as it was, and the new file
// is removed (or, where it cannot be, named by the outcome). What a rename
// does not carry over, as ReplaceFileW would: security entries set on the
// old file itself (the new file has those it inherits from the folder), its
// alternate data streams, and other hard links to it (they keep the old
// content).
//
// Another program may hold a file for a moment (a virus scanner, the search
// indexer, a sync client; the game its news file): where a call that opens,
// renames or removes a file fails with a sharing violation, a lock violation
// or access denied (Windows' answer for a file being deleted, and Wine's and
// Windows' for a rename over a file that another program has open), it is
// made again, 100 ms later, for up to about 2 s in all for one command.
// Where the rename's hold lasts and the target can still be opened for
// writing (its holder lets others write, as readers such as the C runtime's
// fopen do), the new content is written over the old, in place; otherwise
// the outcome says that another program holds the file.
//
// The content is also written in place where no new file may be made in the
// folder (access denied or a sharing violation for a few names in turn; one
// name alone may be held by a file being deleted, a folder or a scanner), and
// where the target is a symbolic link or a junction (a reparse point), so
// that the linked file gets the content and the link stays. The bytes of the
// new content that go past the old end (its tail) are written there first,
// so that a full disk fails while the old bytes are untouched (the file is
// then cut back to its old length); the bytes that go over old ones are kept
// in memory and written from the start at the commit, which then cuts a
// longer old file to the new length. So at any moment, even when the program
// is cut off, the file holds for some k the first k bytes of the new content,
// then its old bytes from k on, then the new content's own bytes from the old
// length on, up to some length; and once the commit succeeded exactly the new
// content. It never holds a byte that is in neither content.
//
// Load: the file is opened sharing reading only, so that a program that is
// still writing it keeps it from us until it is done; that hold is waited out
// like Save's. Where it lasts, the file is read sharing writing, and taken
// only if its size and last write time are the same before and after the
// read: a file that changed is read again while the wait lasts, and one still
// changing is not taken.
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
  BOOL(WINAPI* get_file_information)(HANDLE, LPBY_HANDLE_FILE_INFORMATION) =
      ::GetFileInformationByHandle;
  BOOL(WINAPI* set_file_time)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*) = ::SetFileTime;
  BOOL(WINAPI* get_attributes)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID) = ::GetFileAttributesExW;
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
  WriteOutcome OpenReplacement(const Path& name, std::uint64_t size,
                               std::unique_ptr<ReplacementFile>& file) override;

 private:
  Win32FileApi api_;
};

}  // namespace tolvex
