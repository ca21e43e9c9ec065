// The operating-system seam below the file slots.
//
// The slots need only two things from the OS: a file to read from start to end,
// and a way to write a file's new content so that the old content stays intact
// until the new one is complete. The Win32 build implements this over
// CreateFileW/ReplaceFileW; tests use an in-memory file system with injected faults.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/status.h"

namespace tolvex {

using Path = std::wstring;

class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `capacity` bytes. `got` == 0 with an ok status means end of file.
  virtual Status Read(char* buffer, std::size_t capacity, std::size_t& got) = 0;
};

// New content for a file. Nothing at the target changes until Commit succeeds;
// destroying an uncommitted replacement discards everything written to it.
class ReplacementFile {
 public:
  virtual ~ReplacementFile() = default;
  virtual Status Write(const char* data, std::size_t size) = 0;
  // Makes the written bytes the target's whole content, in one step.
  virtual Status Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) = 0;
  // Fails before anything is written when the target cannot be replaced
  // (missing folder, invalid name, locked or read-only file, a folder).
  virtual Status OpenReplacement(const Path& name, std::unique_ptr<ReplacementFile>& file) = 0;
};

}  // namespace tolvex
