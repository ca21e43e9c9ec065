#include "platform/win32_file_system.h"

#include <windows.h>

#include <cwchar>
#include <utility>

namespace tolvex {
namespace {

constexpr DWORD kLargestCall = 0x40000000;  // bytes per ReadFile or WriteFile
// Names tried for a new file that are refused (access denied, sharing
// violation) before the folder is taken to refuse new files.
constexpr unsigned kRefusedNames = 4;
// Names tried for the old file while it is replaced.
constexpr unsigned kBackupNames = 16;

Status LastError() {
  const DWORD code = GetLastError();
  return Status(code != 0 ? code : error::kWriteFault);
}

bool NotThere(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }
bool AlreadyThere(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

// An open file, closed through the seam.
class ApiFile {
 public:
  ApiFile() = default;
  ApiFile(const Win32FileApi& api, HANDLE handle) : close_(api.close_handle), handle_(handle) {}
  ~ApiFile() { Close(); }
  ApiFile(const ApiFile&) = delete;
  ApiFile& operator=(const ApiFile&) = delete;
  ApiFile(ApiFile&& other) noexcept
      : close_(other.close_), handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ApiFile& operator=(ApiFile&& other) noexcept {
    if (this != &other) {
      Close();
      close_ = other.close_;
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes the file now; false, with the system's error, when closing failed.
  // The handle is given up either way.
  bool Close() {
    if (!*this) return true;
    return close_(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  BOOL(WINAPI* close_)(HANDLE) = nullptr;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(const Win32FileApi& api, ApiFile file) : api_(api), file_(std::move(file)) {}

  Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
    DWORD n = 0;
    const DWORD want = capacity > kLargestCall ? kLargestCall : static_cast<DWORD>(capacity);
    if (!api_.read_file(file_.get(), buffer, want, &n, nullptr)) return LastError();
    got = n;
    return Status();
  }

 private:
  Win32FileApi api_;
  ApiFile file_;
};

// Writes all of `data`; a write that makes no progress is a full disk.
Status WriteAll(const Win32FileApi& api, HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD want = size > kLargestCall ? kLargestCall : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!api.write_file(file, data, want, &written, nullptr)) return LastError();
    if (written == 0) return Status(error::kDiskFull);
    data += written;
    size -= written;
  }
  return Status();
}

Status Seek(const Win32FileApi& api, HANDLE file, std::uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return api.set_file_pointer(file, to, nullptr, FILE_BEGIN) ? Status() : LastError();
}

// The folder part of a path, with its trailing separator; empty for a bare name.
Path FolderOf(const Path& name) {
  const std::size_t slash = name.find_last_of(L"\\/");
  if (slash != Path::npos) return name.substr(0, slash + 1);
  if (name.size() >= 2 && name[1] == L':') return name.substr(0, 2);
  return Path();
}

// A short name in `folder` for a file of ours: "~tv" and four hex digits, no
// longer than most names such a file stands in for; where the folder leaves
// too little room, in the unlimited form.
Path ShortName(const Win32FileApi& api, const Path& folder) {
  static unsigned next = (GetCurrentProcessId() * 2654435761u + GetTickCount()) & 0xFFFF;
  wchar_t name[16];
  std::swprintf(name, 16, L"~tv%04X.tmp", next++ & 0xFFFF);
  return UnlimitedForm(api, folder + name);
}

// New content in a file of its own beside the target.
class Win32ReplacementFile final : public ReplacementFile {
 public:
  Win32ReplacementFile(const Win32FileApi& api, Path target, Path folder)
      : api_(api), target_(std::move(target)), folder_(std::move(folder)) {}

  // Takes over the new file once it exists. Made before it, so that no
  // allocation can fail between its creation and its owner's.
  void Adopt(Path temp, ApiFile file) noexcept {
    temp_ = std::move(temp);
    file_ = std::move(file);
  }

  ~Win32ReplacementFile() override {
    file_.Close();
    if (!committed_ && !kept_ && !temp_.empty()) api_.delete_file(temp_.c_str());
  }

  Status Write(const char* data, std::size_t size) override {
    return WriteAll(api_, file_.get(), data, size);
  }

  Status Commit() override {
    if (!api_.flush_file(file_.get())) return LastError();
    if (!file_.Close()) return LastError();
    if (api_.get_attributes(target_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      const DWORD code = GetLastError();
      if (code != ERROR_FILE_NOT_FOUND) return Status(code != 0 ? code : error::kWriteFault);
      if (!api_.move_file(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) return LastError();
      committed_ = true;
      return Status();
    }
    Path backup;
    const Status named = FreeName(backup);
    if (!named.ok()) return named;
    if (api_.replace_file(target_.c_str(), temp_.c_str(), backup.c_str(),
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      committed_ = true;
      DropBackup(backup);
      return Status();
    }
    return Recover(LastError(), backup);
  }

  ReplacementAftermath LeftBehind() override {
    ReplacementAftermath left;
    if (kept_) left.kept_copy = std::move(temp_);
    left.kept_old = std::move(kept_old_);
    return left;
  }

 private:
  // A name for the old file while the new one takes its place: one the system
  // says is not in use.
  Status FreeName(Path& name) {
    DWORD code = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < kBackupNames; ++attempt) {
      name = ShortName(api_, folder_);
      if (api_.get_attributes(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
      code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND) return Status();
    }
    return Status(code != 0 ? code : error::kWriteFault);
  }

  // The old file's content is no longer needed under `backup` (if it is there).
  void DropBackup(const Path& backup) {
    if (!api_.delete_file(backup.c_str()) && !NotThere(GetLastError())) kept_old_ = backup;
  }

  // After a failed replace: where the target still is, it is untouched.
  // Where it was moved away, the new file takes its place, or else the old
  // file goes back; what can do neither is kept.
  Status Recover(Status failed, const Path& backup) {
    if (api_.move_file(temp_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
      committed_ = true;
      DropBackup(backup);
      return Status();
    }
    if (!AlreadyThere(GetLastError())) {
      if (api_.move_file(backup.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) return failed;
      const DWORD code = GetLastError();
      if (!AlreadyThere(code)) {
        kept_ = true;  // the target is gone: this is the only copy of the new content
        if (!NotThere(code) || api_.get_attributes(backup.c_str()) != INVALID_FILE_ATTRIBUTES ||
            !NotThere(GetLastError())) {
          kept_old_ = backup;
        }
        return failed;
      }
    }
    DropBackup(backup);  // the target is there; a backup, if one was made, is a copy
    return failed;
  }

  Win32FileApi api_;
  Path target_;
  Path folder_;
  Path temp_;
  ApiFile file_;
  Path kept_old_;
  bool committed_ = false;
  bool kept_ = false;  // the only copy of the new content: never deleted
};

// New content written over the target itself, where no file may be made
// beside it; see the header for what the file holds on the way.
class Win32InPlaceFile final : public ReplacementFile {
 public:
  Win32InPlaceFile(const Win32FileApi& api, ApiFile file, std::uint64_t size)
      : api_(api), file_(std::move(file)), size_(size) {}

  Status Write(const char* data, std::size_t size) override {
    if (!started_) {
      const Status status = Start();
      if (!status.ok()) return status;
    }
    written_ = true;
    return WriteAll(api_, file_.get(), data, size);
  }

  Status Commit() override {
    if (!started_) {
      const Status status = Start();
      if (!status.ok()) return status;
    }
    written_ = true;
    if (!api_.set_end_of_file(file_.get()) || !api_.flush_file(file_.get())) return LastError();
    if (!file_.Close()) return LastError();
    committed_ = true;
    return Status();
  }

  ReplacementAftermath LeftBehind() override {
    ReplacementAftermath left;
    left.target_written = written_ && !committed_;
    return left;
  }

 private:
  // Gives the file its new length, by writing zeros past its old end (a
  // length set alone may take no room on the disk), and goes to its start.
  // On failure the file is cut back to its old length; only if that fails
  // too may it hold more than before.
  Status Start() {
    started_ = true;
    LARGE_INTEGER old{};
    if (!api_.get_file_size(file_.get(), &old)) return LastError();
    const auto old_size = static_cast<std::uint64_t>(old.QuadPart);
    Status status;
    if (size_ != kUnknownSize && size_ > old_size) {
      status = Seek(api_, file_.get(), old_size);
      static const char kZeros[64 * 1024] = {};
      for (std::uint64_t left = size_ - old_size; status.ok() && left > 0;) {
        const std::size_t n = left < sizeof kZeros ? static_cast<std::size_t>(left) : sizeof kZeros;
        status = WriteAll(api_, file_.get(), kZeros, n);
        left -= n;
      }
    }
    if (status.ok()) status = Seek(api_, file_.get(), 0);
    if (!status.ok() &&
        (!Seek(api_, file_.get(), old_size).ok() || !api_.set_end_of_file(file_.get()))) {
      written_ = true;
    }
    return status;
  }

  Win32FileApi api_;
  ApiFile file_;
  std::uint64_t size_;
  bool started_ = false;
  bool written_ = false;  // the file may differ from what it held before
  bool committed_ = false;
};

// Checks, before anything is written, that the target can take new content.
Status CheckTarget(const Win32FileApi& api, const Path& name, bool& exists) {
  const DWORD attributes = api.get_attributes(name.c_str());
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? Status() : Status(code != 0 ? code : error::kWriteFault);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Status(ERROR_ACCESS_DENIED);
  if (attributes & FILE_ATTRIBUTE_READONLY) return Status(ERROR_ACCESS_DENIED);
  // Locked by another program, or not ours to write.
  ApiFile probe(api, api.create_file(name.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe) return LastError();
  return Status();
}

}  // namespace

Path UnlimitedForm(const Win32FileApi& api, const Path& path) {
  if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  Path full(api.get_full_path(path.c_str(), 0, nullptr, nullptr), L'\0');
  full.resize(full.empty() ? 0
                           : api.get_full_path(path.c_str(), static_cast<DWORD>(full.size()),
                                               full.data(), nullptr));
  if (full.size() < 3) return path;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

Status Win32FileSystem::OpenInput(const Path& name, std::unique_ptr<InputFile>& file) {
  ApiFile handle(api_, api_.create_file(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) return LastError();
  file = std::make_unique<Win32InputFile>(api_, std::move(handle));
  return Status();
}

Status Win32FileSystem::OpenReplacement(const Path& name, std::uint64_t size,
                                        std::unique_ptr<ReplacementFile>& file) {
  if (name.empty()) return Status(ERROR_INVALID_NAME);
  bool exists = false;
  Status status = CheckTarget(api_, name, exists);
  if (!status.ok()) return status;
  const Path folder = FolderOf(name);
  auto replacement = std::make_unique<Win32ReplacementFile>(api_, name, folder);
  unsigned refused = 0;
  for (unsigned attempt = 0; attempt <= 0xFFFF; ++attempt) {
    Path temp = ShortName(api_, folder);
    ApiFile handle(api_, api_.create_file(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                          nullptr));
    if (handle) {
      replacement->Adopt(std::move(temp), std::move(handle));
      file = std::move(replacement);
      return Status();
    }
    const DWORD code = GetLastError();
    if (AlreadyThere(code)) continue;
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) {
      return Status(code != 0 ? code : error::kWriteFault);
    }
    if (++refused < kRefusedNames) continue;
    if (!exists) return Status(code);
    // No file may be made here, but the target may be written.
    ApiFile target(api_, api_.create_file(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target) return LastError();
    file = std::make_unique<Win32InPlaceFile>(api_, std::move(target), size);
    return Status();
  }
  return Status(ERROR_FILE_EXISTS);
}

bool Win32FileSystem::Exists(const Path& name) {
  return api_.get_attributes(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace tolvex
