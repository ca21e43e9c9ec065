#include "platform/editor_words.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvex {
namespace {

// Each row: the text before the caret, and what Ctrl+Backspace leaves of it.
TEST(EditorWordsTest, CtrlBackspaceDeletesThePreviousWord) {
  const struct {
    const char* name;
    std::u16string before;
    std::u16string left;
  } cases[] = {
      {"nothing before the caret", u"", u""},
      {"one word", u"news", u""},
      {"the last word", u"news of the day", u"news of the "},
      {"with the blanks after it", u"news of the day   ", u"news of the "},
      {"tabs and no-break spaces are blanks", u"news\t\u00A0", u""},
      {"only blanks", u"   ", u""},
      {"digits are word characters", u"at 12:30", u"at 12:"},
      {"underscore is a word character", u"a snake_case", u"a "},
      {"a run of punctuation", u"Hello, world...", u"Hello, world"},
      {"punctuation, then blanks", u"world, ", u"world"},
      {"a word after punctuation", u"(news", u"("},
      {"umlauts and sharp s", u"viele Gr\u00FC\u00DFe", u"viele "},
      {"Cyrillic", u"\u043D\u043E\u0432\u044B\u0435 \u0432\u0435\u0441\u0442\u0438", u"\u043D\u043E\u0432\u044B\u0435 "},
      {"a surrogate pair goes whole", u"a \U0001F4F0", u"a "},
      {"apostrophe inside a word", u"it's Tolvex's", u"it's "},
      {"typographic apostrophe inside a word", u"don\u2019t", u""},
      {"apostrophe after a word is punctuation", u"the players'", u"the players"},
      {"apostrophe before a word is punctuation", u"say 'hi", u"say '"},
      {"dashes and quotes", u"news \u2014 \u201Cday\u201D", u"news \u2014 \u201Cday"},
      {"euro sign", u"5 \u20AC", u"5 "},
      {"CR LF goes alone", u"line one\r\n", u"line one"},
      {"a lone LF goes alone", u"line one\n", u"line one"},
      {"a lone CR goes alone", u"line one\r", u"line one"},
      {"two line breaks: one goes", u"one\r\n\r\n", u"one\r\n"},
      {"blanks at the start of a line: the line break stays", u"one\r\n   ", u"one\r\n"},
      {"a word at the start of a line: the line break stays", u"one\r\ntwo", u"one\r\n"},
      {"a DEL typed earlier is punctuation", u"news\x7F", u"news"},
  };
  for (const auto& c : cases) {
    const std::size_t start = PreviousWordStart(c.before);
    ASSERT_LE(start, c.before.size()) << c.name;
    EXPECT_EQ(c.before.substr(0, start), c.left) << c.name;
  }
}

}  // namespace
}  // namespace tolvex
