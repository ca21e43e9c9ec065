// The editor's word rule for Ctrl+Backspace. Nothing here needs the window
// system.
#pragma once

#include <cstddef>
#include <string_view>

namespace tolvex {

// Where Ctrl+Backspace starts deleting, given the editor's text before the
// caret; the deletion runs from there to the caret.
//
// - A line break just before the caret (CR LF, a lone LF or a lone CR) goes
//   alone.
// - Otherwise the blanks just before the caret go, together with the run of
//   characters before them: a word, or a run of punctuation. Blanks that follow
//   a line break go alone, so the line break stays.
//
// Blanks are space, tab and the no-break and other Unicode spaces. Punctuation
// is ASCII's, Latin-1's signs (¡ « ° ¿ ...), × and ÷, and the general
// punctuation and currency signs (– — “ ” … €). Everything else (letters and
// digits of any script, '_', and the rest) makes words. An apostrophe
// (' or ’) between two word characters belongs to the word: "don't", "Tolvex's".
std::size_t PreviousWordStart(std::u16string_view before_caret);

}  // namespace tolvex
