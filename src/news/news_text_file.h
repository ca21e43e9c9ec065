// The news text file: plain text, one byte per character in a single-byte
// code page, lines ending CR LF, no header, no byte-order mark.
//
// Both rules work through a file slot and close it on every path: after a
// failure, or when memory runs out (std::bad_alloc passes through), nothing
// stays open, and a failed write leaves the file as it was unless its outcome
// says otherwise.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_slots.h"

namespace tolvex {

// The slot the Load and Save commands use.
constexpr int kNewsSlot = 1;

// Appends each line of the file to `target`, followed by CR LF, so that every
// line, the last one included, ends with CR LF. CR LF, a lone CR and a lone LF
// each end a line; an empty file adds nothing. A file holding a NUL byte is not
// a text file and fails with error::kInvalidData (a text box would cut the text
// at the NUL, and the next save would lose the rest). On failure `target` holds
// what was read before it.
Status ReadNewsText(FileSlots& slots, const Path& name, std::string& target);

// Writes `text` followed by one CR LF, so that the file's content becomes
// exactly that. Every line end inside the text is written as CR LF (a lone CR
// or LF becomes CR LF); all other bytes are written as they are. The outcome
// tells, besides the status, what the write left behind.
WriteOutcome WriteNewsText(FileSlots& slots, const Path& name, std::string_view text);

// `text` with every line end written as CR LF, by the rule the reading rule
// ends lines with: CR LF, a lone CR and a lone LF each end one line (so CR CR
// LF is two line ends, and so is LF CR). Everything else stays as it is. One
// pass over the text.
std::u16string WithNewsLineEnds(std::u16string_view text);

}  // namespace tolvex
