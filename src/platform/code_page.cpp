#include "platform/code_page.h"

namespace tolvex {
namespace {

CodePage::Table Windows1252Table() {
  CodePage::Table t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = static_cast<char16_t>(b);
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
  };
  for (unsigned i = 0; i < 32; ++i) t[0x80 + i] = kHigh[i];
  return t;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

CodePage::CodePage(unsigned number, const Table& to_unicode)
    : number_(number), to_unicode_(to_unicode), to_byte_(0x10000, kNoByte) {
  for (unsigned b = 256; b-- > 0;) to_byte_[to_unicode_[b]] = static_cast<unsigned short>(b);
}

unsigned NewsCodePageNumber(unsigned system_code_page, unsigned longest_character) {
  return longest_character == 1 ? system_code_page : 1252;
}

const CodePage& CodePage::Windows1252() {
  static const CodePage page(1252, Windows1252Table());
  return page;
}

std::u16string CodePage::Decode(std::string_view bytes) const {
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[i] = to_unicode_[static_cast<unsigned char>(bytes[i])];
  }
  return text;
}

CodePage::Encoded CodePage::Encode(std::u16string_view text) const {
  Encoded out;
  out.bytes.resize(text.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned short b = to_byte_[text[i]];
    if (b != kNoByte) {
      out.bytes[n++] = static_cast<char>(b);
      continue;
    }
    const bool pair =
        IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
    if (out.lost++ == 0) {
      out.first_lost = i;
      out.first_lost_length = pair ? 2 : 1;
    }
    out.bytes[n++] = '?';
    if (pair) ++i;
  }
  out.bytes.resize(n);
  return out;
}

}  // namespace tolvex
