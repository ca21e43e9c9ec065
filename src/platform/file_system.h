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

// What a replacement left besides its target, whether it succeeded or not.
struct ReplacementAftermath {
  // The target was written in place, as no new file could be made beside it:
  // it may hold a part of the new content.
  bool target_written = false;
  // A file holding the whole new content, kept because it could not be put in
  // the target's place and the target was no longer there to fall back on.
  Path kept_copy;
  // A file holding the target's old content, which the system moved aside
  // while replacing it and which could neither be removed nor put back.
  Path kept_old;

  bool nothing() const { return !target_written && kept_copy.empty() && kept_old.empty(); }
};

// How writing a file ended: its status and what it left behind.
struct [[nodiscard]] WriteOutcome {
  Status status;
  ReplacementAftermath left;

  bool ok() const { return status.ok(); }
};

// New content for a file. Nothing at the target changes until Commit succeeds
// (unless LeftBehind says otherwise); destroying an uncommitted replacement
// discards everything written to it, except a kept copy.
class ReplacementFile {
 public:
  virtual ~ReplacementFile() = default;
  virtual Status Write(const char* data, std::size_t size) = 0;
  // Makes the written bytes the target's whole content, in one step.
  virtual Status Commit() = 0;
  // After Commit, whether it succeeded or not, or before an uncommitted
  // replacement is destroyed. May be called once; moves the names out.
  virtual ReplacementAftermath LeftBehind() { return {}; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) = 0;
  // Fails before anything is written when the target cannot be replaced
  // (missing folder, invalid name, locked or read-only file, a folder).
  // `size` is the length the new content will have (kUnknownSize if unknown).
  virtual Status OpenReplacement(const Path& name, std::uint64_t size,
                                 std::unique_ptr<ReplacementFile>& file) = 0;
  // True when a file or folder of that name is there; false when it is not,
  // or when the system cannot tell.
  virtual bool Exists(const Path& name) = 0;
};

}  // namespace tolvex
