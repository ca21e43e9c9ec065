// A single-byte code page: the mapping between the bytes of a news file and
// the UTF-16 text the editor holds.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex {

class CodePage {
 public:
  using Table = std::array<char16_t, 256>;

  // `to_unicode[b]` is the character of byte b. A character that several bytes
  // map to encodes as the lowest of them.
  CodePage(unsigned number, const Table& to_unicode);

  // Windows-1252, with the five bytes it leaves undefined (0x81, 0x8D, 0x8F,
  // 0x90, 0x9D) mapped to the control characters of the same value, as
  // Windows does, so that every byte survives a round trip.
  static const CodePage& Windows1252();

  unsigned number() const { return number_; }
  char16_t ToUnicode(unsigned char byte) const { return to_unicode_[byte]; }

  std::u16string Decode(std::string_view bytes) const;

  struct Encoded {
    std::string bytes;
    // Characters the code page cannot hold, each written as '?'. A surrogate
    // pair is one character.
    std::size_t lost = 0;
    // Index in the text of the first of them, when there is one, and its
    // length in code units (2 for a surrogate pair, else 1).
    std::size_t first_lost = 0;
    std::size_t first_lost_length = 0;
  };
  Encoded Encode(std::u16string_view text) const;

 private:
  static constexpr unsigned short kNoByte = 0x100;

  unsigned number_;
  Table to_unicode_;
  std::vector<unsigned short> to_byte_;  // indexed by UTF-16 code unit
};

// The code page news files are written in, from the system's ANSI code page
// and the length in bytes of its longest character (0 when unknown): the
// system's own where every character is one byte, otherwise Windows-1252.
unsigned NewsCodePageNumber(unsigned system_code_page, unsigned longest_character);

}  // namespace tolvex
