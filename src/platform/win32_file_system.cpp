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

// Writes all of `data`; a write that makes no progress is a full disk.
Status WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, want, &written, nullptr)) return LastError();
    if (written == 0) return Status(error::kDiskFull);
    data += written;
    size -= written;
  }
  return Status();
}

// True only when the system says the file is not there (not when it cannot tell).
bool Missing(const Path& name) {
  if (GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD code = GetLastError();
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// New content in a file of its own beside the target.
class Win32ReplacementFile final : public ReplacementFile {
 public:
  Win32ReplacementFile(const Win32FileApi& api, Path target)
      : api_(api), target_(std::move(target)) {}

  // Takes over the new file once it exists. Made before it, so that no
  // allocation can fail between its creation and its owner's.
  void Adopt(Path temp, UniqueFile file) noexcept {
    temp_ = std::move(temp);
    file_ = std::move(file);
  }

  ~Win32ReplacementFile() override {
    if (committed_ || kept_ || temp_.empty()) return;
    file_.reset();
    DeleteFileW(temp_.c_str());
  }

  Status Write(const char* data, std::size_t size) override {
    return WriteAll(file_.get(), data, size);
  }

  Status Commit() override {
    if (!FlushFileBuffers(file_.get())) return LastError();
    file_.reset();
    if (GetFileAttributesW(target_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (!api_.move_file(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return LastError();
      }
      committed_ = true;
      return Status();
    }
    if (api_.replace_file(target_.c_str(), temp_.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      committed_ = true;
      return Status();
    }
    const Status failed = LastError();
    // 1175 leaves both files as they were. 1176 and 1177 come after the
    // target was moved away: the new content is then in the new file only,
    // and takes the target's place the plain way, or is kept.
    if (failed.code() == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
        failed.code() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 || Missing(target_)) {
      if (api_.move_file(temp_.c_str(), target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        committed_ = true;
        return Status();
      }
      kept_ = true;
    }
    return failed;
  }

  ReplacementAftermath AfterFailure() override {
    ReplacementAftermath aftermath;
    if (kept_) aftermath.kept_copy = std::move(temp_);
    return aftermath;
  }

 private:
  Win32FileApi api_;
  Path target_;
  Path temp_;
  UniqueFile file_;
  bool committed_ = false;
  bool kept_ = false;  // the only copy of the new content: never deleted
};

// New content written over the target itself, where no file may be made
// beside it. The target is cut to the new length only when committed.
class Win32InPlaceFile final : public ReplacementFile {
 public:
  explicit Win32InPlaceFile(UniqueFile file) : file_(std::move(file)) {}

  Status Write(const char* data, std::size_t size) override {
    written_ = true;
    return WriteAll(file_.get(), data, size);
  }

  Status Commit() override {
    if (!SetEndOfFile(file_.get()) || !FlushFileBuffers(file_.get())) return LastError();
    file_.reset();
    return Status();
  }

  ReplacementAftermath AfterFailure() override {
    ReplacementAftermath aftermath;
    aftermath.target_written = written_;
    return aftermath;
  }

 private:
  UniqueFile file_;
  bool written_ = false;
};

// The folder part of a path, with its trailing separator; empty for a bare name.
Path FolderOf(const Path& name) {
  const std::size_t slash = name.find_last_of(L"\\/");
  if (slash != Path::npos) return name.substr(0, slash + 1);
  if (name.size() >= 2 && name[1] == L':') return name.substr(0, 2);
  return Path();
}

// The path in the form that is not limited to MAX_PATH characters, where the
// plain form would be too long; otherwise the path as it is.
Path UnlimitedForm(const Path& path) {
  if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  Path full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  full.resize(full.empty() ? 0 : GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()),
                                                   full.data(), nullptr));
  if (full.size() < 3) return path;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Checks, before anything is written, that the target can take new content.
Status CheckTarget(const Win32FileApi& api, const Path& name, bool& exists) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? Status() : Status(code);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Status(ERROR_ACCESS_DENIED);
  if (attributes & FILE_ATTRIBUTE_READONLY) return Status(ERROR_ACCESS_DENIED);
  // Locked by another program, or not ours to write.
  UniqueFile probe(api.create_file(name.c_str(), GENERIC_WRITE,
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
  bool exists = false;
  Status status = CheckTarget(api_, name, exists);
  if (!status.ok()) return status;
  // "~tv" and four hex digits: no longer than most names the new file stands
  // in for, and where the folder leaves too little room, the unlimited form.
  static unsigned next = (GetCurrentProcessId() * 2654435761u + GetTickCount()) & 0xFFFF;
  const Path folder = FolderOf(name);
  auto replacement = std::make_unique<Win32ReplacementFile>(api_, name);
  for (unsigned attempt = 0; attempt <= 0xFFFF; ++attempt) {
    wchar_t temp_name[16];
    std::swprintf(temp_name, 16, L"~tv%04X.tmp", next++ & 0xFFFF);
    Path temp = UnlimitedForm(folder + temp_name);
    UniqueFile handle(api_.create_file(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (handle) {
      replacement->Adopt(std::move(temp), std::move(handle));
      file = std::move(replacement);
      return Status();
    }
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS) continue;
    if (code != ERROR_ACCESS_DENIED || !exists) return Status(code != 0 ? code : error::kWriteFault);
    // No file may be made here, but the target may be written.
    UniqueFile target(api_.create_file(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target) return LastError();
    file = std::make_unique<Win32InPlaceFile>(std::move(target));
    return Status();
  }
  return Status(ERROR_FILE_EXISTS);
}

}  // namespace tolvex
