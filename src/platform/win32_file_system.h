// Files on disk through the Win32 API, with Unicode paths.
//
// A replacement is written to a new file in the target's folder, flushed, and
// then put in the target's place with ReplaceFileW (an existing target keeps
// its attributes) or MoveFileExW (a new one). A failure at any point leaves
// the target as it was and removes the new file.
#pragma once

#include "platform/file_system.h"

namespace tolvex {

class Win32FileSystem final : public FileSystem {
 public:
  Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) override;
  Status OpenReplacement(const Path& name, std::unique_ptr<ReplacementFile>& file) override;
};

}  // namespace tolvex
