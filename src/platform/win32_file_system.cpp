#include "platform/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

#include "platform/file_names.h"
#include "platform/unique_handle.h"

namespace tolvex {
namespace {

constexpr DWORD kLargestCall = 0x40000000;  // bytes per ReadFile or WriteFile
constexpr DWORD kCopyBuffer = 1 << 20;      // bytes per read of the new file, written in place
// Names tried for a new file that are refused (access denied, sharing
// violation) before the folder is taken to refuse new files, and names
// tried in all: a folder where every name is taken, or said to be, is not
// searched for ever (on a slow network share each try takes its time).
constexpr unsigned kRefusedNames = 4;
constexpr unsigned kNewNames = 16;
// How long a command waits out another program's hold on a file: steps of
// 100 ms, about 2 s in all.
constexpr DWORD kWaitStep = 100;
constexpr unsigned kWaitSteps = 20;

// A failure with the system's code; a call that failed without saying why is
// taken for a write fault.
Status Failure(DWORD code) { return Status(code != 0 ? code : error::kWriteFault); }
Status LastError() { return Failure(GetLastError()); }

bool AlreadyThere(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

// Another program has the file open in a way that excludes ours: a writer
// that shares no writing with us, a lock on a range.
bool HeldByWriter(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION; }

// What another program's brief hold on a file looks like to Save: a virus
// scanner, the search indexer or a sync client opens a new or changed file
// for a moment, and the game may hold its news file while it runs. Windows
// answers "access denied" for a file that is being deleted (a sync client's
// or the game's own save leaves one for a moment), and Windows and Wine both
// answer it to a rename over a file that another program has open.
bool MayBeHeld(DWORD code) { return HeldByWriter(code) || code == ERROR_ACCESS_DENIED; }

// The time one command waits out holds, shared by all its calls.
class Patience {
 public:
  Patience(const Win32FileApi& api, bool (*is_hold)(DWORD)) : sleep_(api.sleep), is_hold_(is_hold) {}

  // Calls `call` (true on success) until it succeeds, fails otherwise than
  // by a hold, or the time is spent; then GetLastError() tells the failure.
  template <typename Call>
  bool Retry(Call call) {
    for (;;) {
      if (call()) return true;
      const DWORD code = GetLastError();
      if (!is_hold_(code) || !Wait()) {
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
  bool (*is_hold_)(DWORD);
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

// Opens an existing file to write it in place, sharing reading and writing:
// a program that reads it, sharing writing as readers do, lets us.
ApiFile OpenInPlace(const Win32FileApi& api, Patience& patience, const Path& name) {
  return OpenFile(api, patience, name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL);
}

// Reads up to `capacity` bytes; `got` == 0 at the end.
Status ReadSome(const Win32FileApi& api, HANDLE file, char* buffer, std::size_t capacity, std::size_t& got) {
  DWORD n = 0;
  const DWORD want = capacity > kLargestCall ? kLargestCall : static_cast<DWORD>(capacity);
  if (!api.read_file(file, buffer, want, &n, nullptr)) return LastError();
  got = n;
  return Status();
}

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

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(const Win32FileApi& api, ApiFile file) : api_(api), file_(std::move(file)) {}

  Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
    return ReadSome(api_, file_.get(), buffer, capacity, got);
  }

 private:
  Win32FileApi api_;
  ApiFile file_;
};

// A file's content as it stood still while it was read.
class SteadyInputFile final : public InputFile {
 public:
  explicit SteadyInputFile(std::vector<char> bytes) : bytes_(std::move(bytes)) {}

  Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
    got = std::min(capacity, bytes_.size() - pos_);
    std::copy_n(bytes_.data() + pos_, got, buffer);
    pos_ += got;
    return Status();
  }

 private:
  std::vector<char> bytes_;
  std::size_t pos_ = 0;
};

// Reads a file that another program may be writing, whole, into `bytes`: the
// read counts only where the file's size and last write time are the same
// before and after it; otherwise it is made again after a wait, while the
// wait lasts. A file still changing then fails with a sharing violation.
Status ReadSteady(const Win32FileApi& api, Patience& patience, HANDLE file, std::vector<char>& bytes) {
  for (bool again = false;; again = true) {
    BY_HANDLE_FILE_INFORMATION before{};
    BY_HANDLE_FILE_INFORMATION after{};
    if (!api.get_file_information(file, &before)) return LastError();
    const std::uint64_t size = SizeOf(before);
    if (size > SIZE_MAX / 2) return Status(ERROR_NOT_ENOUGH_MEMORY);
    bytes.resize(static_cast<std::size_t>(size));
    Status status = again ? Seek(api, file, 0) : Status();
    std::size_t read = 0;
    for (std::size_t got = 1; status.ok() && got > 0 && read < bytes.size(); read += got) {
      status = ReadSome(api, file, bytes.data() + read, bytes.size() - read, got);
    }
    if (!status.ok()) return status;
    if (!api.get_file_information(file, &after)) return LastError();
    if (read == size && SizeOf(after) == size &&
        CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime) == 0) {
      return Status();
    }
    if (!patience.Wait()) return Status(ERROR_SHARING_VIOLATION);
  }
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

// What is known of a target before anything is written.
struct Target {
  bool exists = false;  // false also where the system could not tell
  bool absent = false;  // the system said it is not there
  DWORD attributes = 0;
  FILETIME created{};
  // A symbolic link or a junction: written through, never replaced. (Wine
  // shows a Unix link as a plain file; the rename then replaces the link,
  // and the file it pointed to keeps its content.)
  bool link() const { return exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// A write that failed before, or without, changing the target: where the
// system could not tell whether it is there, it is not changed either way.
WriteOutcome Refused(const Target& target, Status failed) {
  return {target.absent ? Written::kNotCreated : Written::kNotChanged, failed,
          HeldByWriter(failed.code()), {}};
}

// New content written over the target itself; see the header for what the
// file holds on the way.
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
    return {Written::kSavedInPlace, Status(), false, {}};
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
    return {changed ? Written::kMayHoldPart : Written::kNotChanged, failed, HeldByWriter(failed.code()), {}};
  }

 private:
  // Finds the old length and makes room for the part of the new content
  // that goes over old bytes: nothing allocates once old bytes are written.
  Status Start() {
    started_ = true;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!api_.get_file_information(file_.get(), &info)) return LastError();
    old_size_ = SizeOf(info);
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

// New content in a file of its own beside the target, renamed into the
// target's place by the commit.
class Win32ReplacementFile final : public ReplacementFile {
 public:
  Win32ReplacementFile(const Win32FileApi& api, Path target_name, const Target& target, Patience patience)
      : api_(api), patience_(patience), name_(std::move(target_name)), target_(target) {}

  // The time this save waits out holds, from the first look at the target.
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
    const Status status = WriteAll(api_, file_.get(), data, size);
    if (status.ok()) written_ += size;
    return status;
  }

  WriteOutcome Commit() override {
    // The target's creation time, as Windows' file system tunnelling would
    // give a file that takes another's name within seconds: where the
    // system will not set it, the save goes on without it.
    if (target_.exists) api_.set_file_time(file_.get(), &target_.created, nullptr, nullptr);
    if (!api_.flush_file(file_.get())) return Abandon(LastError());
    if (!CloseNow(file_)) return Abandon(LastError());
    // A file that another program made at a new target's name meanwhile is
    // not replaced: the Save dialog asked about replacing only a file that
    // was there.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (target_.exists ? MOVEFILE_REPLACE_EXISTING : 0);
    if (patience_.Retry([&] { return api_.move_file(temp_.c_str(), name_.c_str(), flags) != FALSE; })) {
      settled_ = true;
      return WriteOutcome();
    }
    const DWORD code = GetLastError();
    if (target_.exists && MayBeHeld(code)) return WriteInPlace();
    return Abandon(Failure(code));
  }

  // Removes the new file; where it cannot be removed, names it.
  WriteOutcome Abandon(Status failed) override {
    CloseNow(file_);
    return Settled(Refused(target_, failed));
  }

 private:
  // The target stays held: where it can still be opened for writing, the
  // new file's content is written over it in place.
  WriteOutcome WriteInPlace() {
    ApiFile target = OpenInPlace(api_, patience_, name_);
    if (!target) return Abandon(LastError());
    ApiFile source = OpenFile(api_, patience_, temp_, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN);
    if (!source) return Abandon(LastError());
    WriteOutcome outcome;
    try {
      Win32InPlaceFile in_place(api_, std::move(target), written_);
      std::vector<char> buffer(kCopyBuffer);
      Status status;
      for (std::size_t got = 1; status.ok() && got > 0;) {
        status = ReadSome(api_, source.get(), buffer.data(), buffer.size(), got);
        if (status.ok() && got > 0) status = in_place.Write(buffer.data(), got);
      }
      outcome = status.ok() ? in_place.Commit() : in_place.Abandon(status);
    } catch (const std::bad_alloc&) {
      // Before any old byte was written: the in-place write allocates
      // nothing from there on.
      outcome = Refused(target_, Status(ERROR_NOT_ENOUGH_MEMORY));
    }
    CloseNow(source);
    return Settled(std::move(outcome));
  }

  // The new file goes; where it cannot be removed, the outcome names it.
  WriteOutcome Settled(WriteOutcome outcome) {
    settled_ = true;
    if (!temp_.empty() && !Delete(temp_)) outcome.left = std::move(temp_);
    return outcome;
  }

  // Removes a file of ours; true when it is gone (or was never there).
  bool Delete(const Path& name) {
    if (patience_.Retry([&] { return api_.delete_file(name.c_str()) != FALSE; })) return true;
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
  }

  Win32FileApi api_;
  Patience patience_;
  Path name_;
  Target target_;
  Path temp_;
  ApiFile file_;
  std::uint64_t written_ = 0;
  bool settled_ = false;
};

// Looks at the target before anything is written, and refuses one that
// cannot take new content: a folder, a read-only file, one held by another
// program or not ours to write.
Status Inspect(const Win32FileApi& api, Patience& patience, const Path& name, Target& target) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!api.get_attributes(name.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD code = GetLastError();
    target.absent = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    return code == ERROR_FILE_NOT_FOUND ? Status() : Failure(code);
  }
  target.exists = true;
  target.attributes = data.dwFileAttributes;
  target.created = data.ftCreationTime;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    return Status(ERROR_ACCESS_DENIED);
  }
  ApiFile probe = OpenFile(api, patience, name, GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
  return probe ? Status() : LastError();
}

// The attributes a new file takes over from the target it replaces.
DWORD NewFileAttributes(const Target& target) {
  const DWORD kept = target.attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
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
  Patience patience(api_, HeldByWriter);
  ApiFile handle = OpenFile(api_, patience, name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN);
  if (handle) {
    file = std::make_unique<Win32InputFile>(api_, std::move(handle));
    return Status();
  }
  if (!HeldByWriter(GetLastError())) return LastError();
  // The writer keeps the file open (the game may, while it runs): read it
  // beside the writer, as it stands still.
  handle = Opened(api_, api_.create_file(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) return LastError();
  std::vector<char> bytes;
  const Status status = ReadSteady(api_, patience, handle.get(), bytes);
  if (!status.ok()) return status;
  file = std::make_unique<SteadyInputFile>(std::move(bytes));
  return Status();
}

WriteOutcome Win32FileSystem::OpenReplacement(const Path& name, std::uint64_t size,
                                              std::unique_ptr<ReplacementFile>& file) {
  // No file can have such a name.
  if (name.empty() || IsDeviceName(name)) return {Written::kNotCreated, Status(ERROR_INVALID_NAME), false, {}};
  Target target;
  Patience patience(api_, MayBeHeld);
  const Status status = Inspect(api_, patience, name, target);
  if (!status.ok()) return Refused(target, status);
  DWORD code = ERROR_FILE_EXISTS;
  if (!target.link()) {
    const Path folder = FolderOf(name);
    auto replacement = std::make_unique<Win32ReplacementFile>(api_, name, target, patience);
    unsigned refused = 0;
    for (unsigned attempt = 0; attempt < kNewNames; ++attempt) {
      Path temp = ShortName(api_, folder);
      ApiFile handle = Opened(api_, api_.create_file(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                     NewFileAttributes(target) | FILE_FLAG_SEQUENTIAL_SCAN,
                                                     nullptr));
      if (handle) {
        replacement->Adopt(std::move(temp), std::move(handle));
        file = std::move(replacement);
        return WriteOutcome();
      }
      code = GetLastError();
      if (AlreadyThere(code)) continue;
      if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) break;
      // One name may be held for a moment (a file being deleted, a
      // scanner): a moment later, another.
      if (++refused == kRefusedNames) break;
      replacement->patience().Wait();
    }
    patience = replacement->patience();
    // No file may be made here; an existing target may still be written.
    if (!target.exists || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
      return Refused(target, Failure(code));
    }
  }
  ApiFile handle = OpenInPlace(api_, patience, name);
  if (!handle) return Refused(target, LastError());
  file = std::make_unique<Win32InPlaceFile>(api_, std::move(handle), size);
  return WriteOutcome();
}

}  // namespace tolvex
