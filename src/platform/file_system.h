// The operating-system seam below the file slots.
//
// The slots need only two things from the OS: a file to read from start to end,
// and a way to write a file's new content so that the old content stays intact
// until the new one is complete. The Win32 build implements this over
// CreateFileW/MoveFileExW; tests use an in-memory file system with injected faults.
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

// What became of the target of a write.
enum class Written {
  kSaved,         // the new content took the target's place (or made it)
  kSavedInPlace,  // the target holds the new content, written over the old
  kNotChanged,    // the target is as it was
  kNotCreated,    // there was no target, and there is none
  kMayHoldPart,   // written in place and failed: it may hold a part of the new content
};

// How writing a file ended: what became of the target, the failure (ok for
// the saves), whether another program's hold on a file was the cause, and a
// file of ours that could not be removed.
struct [[nodiscard]] WriteOutcome {
  Written what = Written::kSaved;
  Status status;
  bool held = false;
  Path left;  // holds the new content, or a start of it

  bool ok() const { return status.ok(); }
  // Saved, and nothing to tell.
  bool clean() const { return ok() && left.empty(); }
};

// New content for a file. Nothing at the target changes until Commit (unless
// the outcome says otherwise). Commit or Abandon settles the files and says
// what became of them; either may be called once. Destroying an unsettled
// replacement abandons it.
class ReplacementFile {
 public:
  virtual ~ReplacementFile() = default;
  virtual Status Write(const char* data, std::size_t size) = 0;
  // Makes the written bytes the target's whole content.
  virtual WriteOutcome Commit() = 0;
  // Discards what was written, after `failed`.
  virtual WriteOutcome Abandon(Status failed) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Never gives a part of a file that another program is writing.
  virtual Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) = 0;
  // Refuses, before anything is written, a target that cannot take new
  // content (missing folder, invalid name or a device's, a file held by
  // another program or read-only, a folder): the outcome says so, and what
  // became of the target (kNotChanged or kNotCreated). `size` is the length
  // the new content will have (kUnknownSize if unknown).
  virtual WriteOutcome OpenReplacement(const Path& name, std::uint64_t size,
                                       std::unique_ptr<ReplacementFile>& file) = 0;
};

}  // namespace tolvex
