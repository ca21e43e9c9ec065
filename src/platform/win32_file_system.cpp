#include "platform/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/file_names.h"
#include "platform/unique_handle.h"

namespace tolvex {
namespace {

constexpr DWORD kLargestCall = 0x40000000;  // bytes per ReadFile or WriteFile
// Names tried for a new file that are refused (access denied, sharing
// violation) before the folder is taken to refuse new files.
constexpr unsigned kRefusedNames = 4;
// Names tried for the old file while it is replaced.
constexpr unsigned kBackupNames = 16;
// How long a command waits out another program's hold on a file: steps of
// 100 ms, about 2 s in all.
constexpr DWORD kWaitStep = 100;
constexpr unsigned kWaitSteps = 20;

// A failure with the system's code; a call that failed without saying why is
// taken for a write fault.
Status Failure(DWORD code) { return Status(code != 0 ? code : error::kWriteFault); }
Status LastError() { return Failure(GetLastError()); }

bool NotThere(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }
bool AlreadyThere(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

// What another program's brief hold on a file looks like: a virus scanner,
// the search indexer or a sync client opens a new or changed file for a
// moment, and the game may hold its news file while it runs.
bool MayBeHeld(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_ACCESS_DENIED;
}

// The time one command waits out holds, shared by all its calls.
class Patience {
 public:
  explicit Patience(const Win32FileApi& api) : sleep_(api.sleep) {}

  // Calls `call` (true on success) until it succeeds, fails otherwise than
  // by a hold, or the time is spent; then GetLastError() tells the failure.
  template <typename Call>
  bool Retry(Call call) {
    for (;;) {
      if (call()) return true;
      const DWORD code = GetLastError();
      if (!MayBeHeld(code) || !Wait()) {
        SetLastError(code);
        return false;
      }
    }
  }

  // Waits one step; false, at once, when the time is spent.
  bool Wait() {
    if (steps_left_ == 0) return false;
    --steps_left_;
    sleep_(kWaitStep);
    return true;
  }

 private:
  void(WINAPI* sleep_)(DWORD);
  unsigned steps_left_ = kWaitSteps;
};

// An open file, closed through the seam.
struct ApiFileTraits {
  BOOL(WINAPI* close)(HANDLE) = nullptr;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  void Close(HANDLE h) const { close(h); }
};
using ApiFile = UniqueResource<HANDLE, ApiFileTraits>;

ApiFile Opened(const Win32FileApi& api, HANDLE handle) {
  return ApiFile(handle, ApiFileTraits{api.close_handle});
}

// Closes the file now; false, with the system's error, when closing failed.
// The handle is given up either way.
bool CloseNow(ApiFile& file) {
  if (!file) return true;
  const auto close = file.traits().close;
  return close(file.release()) != FALSE;
}

// Opens a file, waiting out another program's hold.
ApiFile OpenFile(const Win32FileApi& api, Patience& patience, const Path& name, DWORD access,
                 DWORD share, DWORD disposition, DWORD flags) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  patience.Retry([&] {
    handle = api.create_file(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return ApiFileTraits::IsValid(handle);
  });
  return Opened(api, handle);
}

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

// Whether a file or folder of that name is there: kYes, kNo, or kUnknown
// when the system cannot tell.
enum class Presence { kYes, kNo, kUnknown };
Presence PresenceOf(const Win32FileApi& api, const Path& name) {
  if (api.get_attributes(name.c_str()) != INVALID_FILE_ATTRIBUTES) return Presence::kYes;
  return NotThere(GetLastError()) ? Presence::kNo : Presence::kUnknown;
}

// New content in a file of its own beside the target, put in the target's
// place by the commit. Every name is made before the replace: from there to
// the outcome, names are only moved.
class Win32ReplacementFile final : public ReplacementFile {
 public:
  Win32ReplacementFile(const Win32FileApi& api, Path target, Path folder, Patience patience)
      : api_(api), patience_(patience), target_(std::move(target)), folder_(std::move(folder)) {}

  // The time this save waits out holds, from the first check of the target.
  Patience& patience() { return patience_; }

  // Takes over the new file once it exists. Made before it, so that no
  // allocation can fail between its creation and its owner's.
  void Adopt(Path temp, ApiFile file) noexcept {
    temp_ = std::move(temp);
    file_ = std::move(file);
  }

  ~Win32ReplacementFile() override {
    if (!settled_) static_cast<void>(Abandon(Status(error::kWriteFault)));
  }

  Status Write(const char* data, std::size_t size) override {
    return WriteAll(api_, file_.get(), data, size);
  }

  WriteOutcome Commit() override {
    if (!api_.flush_file(file_.get())) return Abandon(LastError());
    if (!CloseNow(file_)) return Abandon(LastError());
    const Presence target = PresenceOf(api_, target_);
    if (target == Presence::kUnknown) return Abandon(LastError());
    if (target == Presence::kNo) {
      if (MoveInto(temp_)) return Saved();
      return Abandon(LastError());
    }
    const Status named = FreeName(backup_);
    if (!named.ok()) return Abandon(named);
    if (patience_.Retry([&] {
          return api_.replace_file(target_.c_str(), temp_.c_str(), backup_.c_str(),
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != FALSE;
        })) {
      return Saved();
    }
    return Recover(LastError());
  }

  // Removes the new file; where it cannot be removed, names it.
  WriteOutcome Abandon(Status failed) override {
    settled_ = true;
    CloseNow(file_);
    WriteOutcome outcome{Written::kNotChanged, failed, {}, {}};
    if (!temp_.empty() && !Delete(temp_)) outcome.new_copy = std::move(temp_);
    return outcome;
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
    return Failure(code);
  }

  // Whether a file is there, waiting out a hold on it.
  Presence Look(const Path& name) {
    if (patience_.Retry([&] { return api_.get_attributes(name.c_str()) != INVALID_FILE_ATTRIBUTES; })) {
      return Presence::kYes;
    }
    return NotThere(GetLastError()) ? Presence::kNo : Presence::kUnknown;
  }

  bool MoveInto(const Path& from) {
    return patience_.Retry([&] {
      return api_.move_file(from.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    });
  }

  // Removes a file of ours; true when it is gone (or was never there).
  bool Delete(const Path& name) {
    return patience_.Retry([&] { return api_.delete_file(name.c_str()) != FALSE; }) ||
           NotThere(GetLastError());
  }

  // The new content is in the target's place; the old file's copy, if the
  // replace made one, goes.
  WriteOutcome Saved() {
    settled_ = true;
    WriteOutcome outcome;
    if (!backup_.empty() && !Delete(backup_)) {
      outcome.what = Written::kSavedOldKept;
      outcome.old_copy = std::move(backup_);
    }
    return outcome;
  }

  // Both files are kept as they are: the new one as the only copy of the new
  // content outside the editor, the old file's copy, where it may be there,
  // as perhaps the only copy of the old content.
  WriteOutcome KeepBoth(Status failed, Presence backup) {
    settled_ = true;
    WriteOutcome outcome{Written::kSavedElsewhere, failed, std::move(temp_), {}};
    if (backup != Presence::kNo) {
      outcome.what = Written::kBothKept;
      outcome.old_copy = std::move(backup_);
    }
    return outcome;
  }

  // After a failed replace, decided by what is on disk (a system may report
  // a failure other than the one that happened, and another program may have
  // made a file of the target's name since); only where the disk cannot be
  // read, by what the system documents for the error: 1176 and 1177 have
  // moved the target away, 1177 to the backup name. A target that is there
  // beside no copy of the old file is untouched; one that is gone is given
  // the new file, or else its old file back. A copy of the old file is never
  // removed unless the target holds the new content or the old one again;
  // what can be neither is kept and named.
  WriteOutcome Recover(Status failed) {
    const std::uint32_t code = failed.code();
    Presence target = Look(target_);
    if (target == Presence::kUnknown) {
      const bool moved = code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
      target = moved ? Presence::kNo : Presence::kYes;
    }
    Presence backup = Look(backup_);
    if (backup == Presence::kUnknown) {
      backup = code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ? Presence::kYes : Presence::kNo;
    }
    if (target == Presence::kYes) {
      return backup == Presence::kNo ? Abandon(failed) : KeepBoth(failed, backup);
    }
    if (MoveInto(temp_)) return Saved();
    if (AlreadyThere(GetLastError()) || backup == Presence::kNo) return KeepBoth(failed, backup);
    if (!MoveInto(backup_)) return KeepBoth(failed, backup);
    return Abandon(failed);
  }

  Win32FileApi api_;
  Patience patience_;
  Path target_;
  Path folder_;
  Path temp_;
  Path backup_;
  ApiFile file_;
  bool settled_ = false;
};

// New content written over the target itself, where no file may be made
// beside it; see the header for what the file holds on the way.
class Win32InPlaceFile final : public ReplacementFile {
 public:
  Win32InPlaceFile(const Win32FileApi& api, ApiFile file, std::uint64_t size)
      : api_(api), file_(std::move(file)), size_(size) {}

  ~Win32InPlaceFile() override {
    if (!settled_) static_cast<void>(Abandon(Status(error::kWriteFault)));
  }

  Status Write(const char* data, std::size_t size) override {
    if (!started_) {
      const Status status = Start();
      if (!status.ok()) return status;
    }
    if (received_ < old_size_) {  // kept until the commit
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, old_size_ - received_));
      head_.insert(head_.end(), data, data + n);
      data += n;
      size -= n;
      received_ += n;
    }
    if (size == 0) return Status();
    Status status;
    if (!grown_) {
      grown_ = true;
      status = Seek(api_, file_.get(), old_size_);
    }
    if (status.ok()) status = WriteAll(api_, file_.get(), data, size);
    received_ += size;
    return status;
  }

  WriteOutcome Commit() override {
    if (!started_) {
      const Status status = Start();
      if (!status.ok()) return Abandon(status);
    }
    Status status = Seek(api_, file_.get(), 0);
    if (!status.ok()) return Abandon(status);
    overwritten_ = true;
    status = WriteAll(api_, file_.get(), head_.data(), head_.size());
    if (status.ok() && received_ < old_size_ && !api_.set_end_of_file(file_.get())) {
      status = LastError();
    }
    if (status.ok() && !api_.flush_file(file_.get())) status = LastError();
    if (status.ok() && !CloseNow(file_)) status = LastError();
    if (!status.ok()) return Abandon(status);
    settled_ = true;
    return WriteOutcome();
  }

  // Takes back the new content's tail; once the head is being written, the
  // file may hold a part of the new content.
  WriteOutcome Abandon(Status failed) override {
    settled_ = true;
    bool changed = overwritten_;
    if (!changed && grown_) {
      changed = !Seek(api_, file_.get(), old_size_).ok() || !api_.set_end_of_file(file_.get());
    }
    CloseNow(file_);
    return {changed ? Written::kMayHoldPart : Written::kNotChanged, failed, {}, {}};
  }

 private:
  // Finds the old length and makes room for the part of the new content
  // that goes over old bytes.
  Status Start() {
    started_ = true;
    LARGE_INTEGER old{};
    if (!api_.get_file_size(file_.get(), &old)) return LastError();
    old_size_ = static_cast<std::uint64_t>(old.QuadPart);
    const std::uint64_t head = std::min(old_size_, size_);
    if (head != kUnknownSize && head < SIZE_MAX) head_.reserve(static_cast<std::size_t>(head));
    return Status();
  }

  Win32FileApi api_;
  ApiFile file_;
  std::uint64_t size_;
  std::uint64_t old_size_ = 0;
  std::uint64_t received_ = 0;  // bytes of the new content given so far
  std::vector<char> head_;      // those of them that go over old bytes
  bool started_ = false;
  bool grown_ = false;          // the tail goes past the old end
  bool overwritten_ = false;    // old bytes may have been overwritten
  bool settled_ = false;
};

// Checks, before anything is written, that the target can take new content.
Status CheckTarget(const Win32FileApi& api, Patience& patience, const Path& name, bool& exists) {
  const DWORD attributes = api.get_attributes(name.c_str());
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? Status() : Failure(code);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Status(ERROR_ACCESS_DENIED);
  if (attributes & FILE_ATTRIBUTE_READONLY) return Status(ERROR_ACCESS_DENIED);
  // Held by another program, or not ours to write.
  ApiFile probe = OpenFile(api, patience, name, GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
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
  if (IsDeviceName(name)) return Status(ERROR_INVALID_NAME);
  Patience patience(api_);
  ApiFile handle = OpenFile(api_, patience, name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!handle) return LastError();
  file = std::make_unique<Win32InputFile>(api_, std::move(handle));
  return Status();
}

Status Win32FileSystem::OpenReplacement(const Path& name, std::uint64_t size,
                                        std::unique_ptr<ReplacementFile>& file) {
  if (name.empty() || IsDeviceName(name)) return Status(ERROR_INVALID_NAME);
  Patience patience(api_);
  bool exists = false;
  Status status = CheckTarget(api_, patience, name, exists);
  if (!status.ok()) return status;
  const Path folder = FolderOf(name);
  auto replacement = std::make_unique<Win32ReplacementFile>(api_, name, folder, patience);
  unsigned refused = 0;
  for (unsigned attempt = 0; attempt <= 0xFFFF; ++attempt) {
    Path temp = ShortName(api_, folder);
    ApiFile handle = Opened(api_, api_.create_file(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                                   nullptr));
    if (handle) {
      replacement->Adopt(std::move(temp), std::move(handle));
      file = std::move(replacement);
      return Status();
    }
    const DWORD code = GetLastError();
    if (AlreadyThere(code)) continue;
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) return Failure(code);
    // One name may be held for a moment (a file being deleted, a scanner):
    // a moment later, another.
    if (++refused < kRefusedNames) {
      replacement->patience().Wait();
      continue;
    }
    if (!exists) return Status(code);
    // No file may be made here, but the target may be written.
    ApiFile target = OpenFile(api_, replacement->patience(), name, GENERIC_WRITE, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL);
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
