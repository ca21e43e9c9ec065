#include "platform/win32_file_system.h"

#include <windows.h>

#include <cwchar>

#include "platform/unique_handle.h"

namespace tolvex {
namespace {

Status LastError() {
  const DWORD code = GetLastError();
  return Status(code != 0 ? code : error::kWriteFault);
}

class Win32InputFile final : public InputFile {
 public:
  explicit Win32InputFile(UniqueFile file) : file_(std::move(file)) {}

  Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
    DWORD n = 0;
    const DWORD want = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    if (!ReadFile(file_.get(), buffer, want, &n, nullptr)) return LastError();
    got = n;
    return Status();
  }

 private:
  UniqueFile file_;
};

class Win32ReplacementFile final : public ReplacementFile {
 public:
  Win32ReplacementFile(Path target, Path temp, UniqueFile file)
      : target_(std::move(target)), temp_(std::move(temp)), file_(std::move(file)) {}

  ~Win32ReplacementFile() override {
    if (committed_) return;
    file_.reset();
    DeleteFileW(temp_.c_str());
  }

  Status Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_.get(), data, want, &written, nullptr)) return LastError();
      if (written == 0) return Status(error::kDiskFull);
      data += written;
      size -= written;
    }
    return Status();
  }

  Status Commit() override {
    if (!FlushFileBuffers(file_.get())) return LastError();
    file_.reset();
    const bool exists = GetFileAttributesW(target_.c_str()) != INVALID_FILE_ATTRIBUTES;
    const BOOL moved =
        exists ? ReplaceFileW(target_.c_str(), temp_.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
               : MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!moved) return LastError();
    committed_ = true;
    return Status();
  }

 private:
  Path target_;
  Path temp_;
  UniqueFile file_;
  bool committed_ = false;
};

// The folder part of a path, with its trailing separator; empty for a bare name.
Path FolderOf(const Path& name) {
  const std::size_t slash = name.find_last_of(L"\\/");
  if (slash != Path::npos) return name.substr(0, slash + 1);
  if (name.size() >= 2 && name[1] == L':') return name.substr(0, 2);
  return Path();
}

// Checks, before anything is written, that the target can take new content.
Status CheckTarget(const Path& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? Status() : Status(code);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Status(ERROR_ACCESS_DENIED);
  if (attributes & FILE_ATTRIBUTE_READONLY) return Status(ERROR_ACCESS_DENIED);
  // Locked by another program, or not ours to write.
  UniqueFile probe(CreateFileW(name.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe) return LastError();
  return Status();
}

}  // namespace

Status Win32FileSystem::OpenInput(const Path& name, std::unique_ptr<InputFile>& file) {
  UniqueFile handle(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) return LastError();
  file = std::make_unique<Win32InputFile>(std::move(handle));
  return Status();
}

Status Win32FileSystem::OpenReplacement(const Path& name,
                                        std::unique_ptr<ReplacementFile>& file) {
  if (name.empty()) return Status(ERROR_INVALID_NAME);
  Status status = CheckTarget(name);
  if (!status.ok()) return status;
  const Path folder = FolderOf(name);
  const Path base = name.substr(folder.size());
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[48];
    std::swprintf(suffix, 48, L".%lx-%u.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                  attempt);
    Path temp = folder + L"~" + base + suffix;
    UniqueFile handle(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (handle) {
      file = std::make_unique<Win32ReplacementFile>(name, std::move(temp), std::move(handle));
      return Status();
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return LastError();
  }
  return Status(ERROR_FILE_EXISTS);
}

}  // namespace tolvex
