// Numbered file slots for sequential text files.
//
// A slot holds at most one open file, for input or for output. Input is read
// line by line: CR LF, a lone CR and a lone LF each end a line, and the line
// end is not part of the line. Output is buffered and goes to a replacement of
// the target file, which takes the target's place only when the slots are
// closed; until then, and whenever anything fails, the target is untouched.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace tolvex {

class FileSlots {
 public:
  static constexpr int kFirstSlot = 1;
  static constexpr int kLastSlot = 15;

  explicit FileSlots(FileSystem& fs);
  ~FileSlots();
  FileSlots(const FileSlots&) = delete;
  FileSlots& operator=(const FileSlots&) = delete;

  // Both fail with error::kBusy when the slot is in use, with
  // error::kInvalidParameter for a slot number out of range.
  Status OpenInput(int slot, const Path& name);
  // `size`: the length the file will have, where the writer knows it. A
  // refused output's outcome says what became of the target.
  WriteOutcome OpenOutput(int slot, const Path& name, std::uint64_t size = kUnknownSize);

  bool InUse(int slot) const;

  // `at_end` is true when no byte is left to read.
  Status AtEnd(int slot, bool& at_end);
  // Replaces `line` with the next line; error::kHandleEof when none is left.
  Status ReadLine(int slot, std::string& line);
  // Writes the bytes as they are (no line end is added).
  Status Write(int slot, std::string_view bytes);

  // Closes every slot. Output files take their targets' places; the outcome
  // is that of the first output that failed, or else of the first that has
  // something to tell (such as a file left), or else kSaved. Moves names
  // only: nothing allocates from the first commit on.
  WriteOutcome CloseAll();
  // Closes every slot without finishing anything: outputs are discarded
  // after `failed`. The outcome is that of the first output that changed its
  // target or left a file, else of the first output (kNotChanged with
  // `failed` when none was open).
  WriteOutcome AbandonAll(Status failed);

 private:
  struct Slot {
    std::unique_ptr<InputFile> input;
    std::unique_ptr<ReplacementFile> output;
    std::vector<char> buffer;
    std::size_t pos = 0;  // input: next unread byte; output: bytes pending
    std::size_t end = 0;  // input: bytes in buffer
    bool eof = false;
    Status failure;       // output: first write failure, sticky
  };

  Slot* Find(int slot, Status& status);
  Slot* FindFree(int slot, Status& status);
  Status Fill(Slot& s);
  Status Flush(Slot& s);

  FileSystem& fs_;
  std::array<Slot, kLastSlot - kFirstSlot + 1> slots_;
};

}  // namespace tolvex
