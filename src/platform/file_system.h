// The operating-system seam below the file slots.
//
// The slots need only two things from the OS: a file to read from start to end,
// and a way to write a file's new content so that the old content stays intact
// until the new one is complete. The Win32 build implements this over
// CreateFileW/ReplaceFileW; tests use an in-memory file system with injected faults.
//
// Errors come back as a Status. Running out of memory is the one failure that
// comes as an exception (std::bad_alloc), from here or from the callers' own
// allocations; the layers above release what they hold as it passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace tolvex {

using Path = std::wstring;

// The length of new content, where the writer cannot tell it in advance.
constexpr std::uint64_t kUnknownSize = UINT64_MAX;

class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `capacity` bytes. `got` == 0 with an ok status means end of file.
  virtual Status Read(char* buffer, std::size_t capacity, std::size_t& got) = 0;
};

// What writing a file's new content did, as found on disk afterwards.
enum class Written {
  kSaved,           // the target holds the new content; nothing else is left
  kSavedOldKept,    // saved, but the copy of the old content could not be removed: old_copy
  kNotChanged,      // the target is as it was (or still not there)
  kSavedElsewhere,  // the target could not take the new content; new_copy holds all of it
  kBothKept,        // as kSavedElsewhere, and the target's old content is in old_copy
  kMayHoldPart,     // written in place: the target may hold a part of the new content
};

// How writing a file ended: what happened, the failure (ok for kSaved and
// kSavedOldKept), and the files of ours left beside the target. Every file
// left is named here: after kNotChanged or kMayHoldPart, new_copy is a file
// with the new content, or a start of it, that could not be removed.
struct [[nodiscard]] WriteOutcome {
  Written what = Written::kSaved;
  Status status;
  Path new_copy;  // holds the new content (or, as said above, a start of it)
  Path old_copy;  // holds the target's old content

  bool ok() const { return status.ok(); }
  // Saved, and nothing to tell.
  bool clean() const { return what == Written::kSaved && new_copy.empty() && old_copy.empty(); }
};

// New content for a file. Nothing at the target changes until Commit succeeds
// (unless the outcome says otherwise). Commit or Abandon settles the files
// and says what they hold; either may be called once. Destroying an unsettled
// replacement abandons it.
class ReplacementFile {
 public:
  virtual ~ReplacementFile() = default;
  virtual Status Write(const char* data, std::size_t size) = 0;
  // Makes the written bytes the target's whole content, in one step.
  virtual WriteOutcome Commit() = 0;
  // Discards what was written, after `failed`.
  virtual WriteOutcome Abandon(Status failed) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) = 0;
  // Fails before anything is written when the target cannot be replaced
  // (missing folder, invalid name or a device's, locked or read-only file, a
  // folder).
  // `size` is the length the new content will have (kUnknownSize if unknown).
  virtual Status OpenReplacement(const Path& name, std::uint64_t size,
                                 std::unique_ptr<ReplacementFile>& file) = 0;
  // True when a file or folder of that name is there; false when it is not,
  // or when the system cannot tell.
  virtual bool Exists(const Path& name) = 0;
};

}  // namespace tolvex
