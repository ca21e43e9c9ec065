#include "platform/editor_words.h"

namespace tolvex {
namespace {

enum class Kind { kLineBreak, kBlank, kPunctuation, kWord };

Kind KindOf(char16_t c) {
  if (c == u'\r' || c == u'\n') return Kind::kLineBreak;
  if (c == u' ' || c == u'\t' || c == 0x00A0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
      c == 0x205F || c == 0x3000) {
    return Kind::kBlank;
  }
  if (c < 0x20 || c == 0x7F) return Kind::kPunctuation;  // other control characters
  if (c < 0x80) {
    const bool letter_or_digit = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
                                 (c >= u'a' && c <= u'z') || c == u'_';
    return letter_or_digit ? Kind::kWord : Kind::kPunctuation;
  }
  if ((c >= 0x00A1 && c <= 0x00BF) || c == 0x00D7 || c == 0x00F7 ||
      (c >= 0x2010 && c <= 0x205E) || (c >= 0x20A0 && c <= 0x20CF)) {
    return Kind::kPunctuation;
  }
  return Kind::kWord;
}

bool IsApostrophe(char16_t c) { return c == u'\'' || c == 0x2019; }

}  // namespace

std::size_t PreviousWordStart(std::u16string_view before_caret) {
  const std::u16string_view& s = before_caret;
  std::size_t at = s.size();
  if (at == 0) return 0;
  if (s[at - 1] == u'\n') {
    --at;
    return at > 0 && s[at - 1] == u'\r' ? at - 1 : at;
  }
  if (s[at - 1] == u'\r') return at - 1;

  while (at > 0 && KindOf(s[at - 1]) == Kind::kBlank) --at;
  if (at == 0 || KindOf(s[at - 1]) == Kind::kLineBreak) return at;
  const Kind run = KindOf(s[at - 1]);
  while (at > 0) {
    const Kind kind = KindOf(s[at - 1]);
    const bool in_word_apostrophe = run == Kind::kWord && IsApostrophe(s[at - 1]) && at >= 2 &&
                                    KindOf(s[at - 2]) == Kind::kWord;
    if (kind != run && !in_word_apostrophe) break;
    --at;
  }
  return at;
}

}  // namespace tolvex
