#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

const CodePage& cp1252 = CodePage::Windows1252();

TEST(CodePageTest, EveryByteOfWindows1252SurvivesARoundTrip) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  const std::u16string text = cp1252.Decode(bytes);
  ASSERT_EQ(text.size(), 256u);
  const CodePage::Encoded back = cp1252.Encode(text);
  EXPECT_EQ(back.bytes, bytes);
  EXPECT_EQ(back.lost, 0u);
}

TEST(CodePageTest, Windows1252Characters) {
  const struct {
    unsigned char byte;
    char16_t ch;
  } cases[] = {
      {0x41, u'A'},    {0x80, u'\u20AC'}, {0x81, u'\u0081'}, {0x8A, u'\u0160'},
      {0x8D, u'\u008D'}, {0x93, u'\u201C'}, {0x96, u'\u2013'}, {0x9F, u'\u0178'},
      {0xA0, u'\u00A0'}, {0xC4, u'\u00C4'}, {0xDF, u'\u00DF'}, {0xFF, u'\u00FF'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp1252.ToUnicode(c.byte), c.ch) << int(c.byte);
    EXPECT_EQ(cp1252.Encode(std::u16string(1, c.ch)).bytes, std::string(1, char(c.byte)));
  }
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  const struct {
    const char* name;
    std::u16string text;
    std::string bytes;
    std::size_t lost, first;
  } cases[] = {
      {"Cyrillic", u"a\u0416b\u0431", "a?b?", 2, 1},
      {"surrogate pair is one character", u"\U0001F600x", "?x", 1, 0},
      {"lone high surrogate", u"x\xD800y", "x?y", 1, 1},
      {"lone high surrogate at the end", u"x\xD800", "x?", 1, 1},
      {"lone high surrogate before a pair", u"\xD800\xD800\xDC00x", "??x", 2, 0},
      {"lone low surrogate", u"\xDC00", "?", 1, 0},
      {"C1 control not in 1252", u"\u0080", "?", 1, 0},
      {"all fits", u"Gr\u00FC\u00DFe \u20AC", "Gr\xFC\xDF" "e \x80", 0, 0},
  };
  for (const auto& c : cases) {
    const CodePage::Encoded e = cp1252.Encode(c.text);
    EXPECT_EQ(e.bytes, c.bytes) << c.name;
    EXPECT_EQ(e.lost, c.lost) << c.name;
    if (c.lost) {
      EXPECT_EQ(e.first_lost, c.first) << c.name;
    }
  }
}

TEST(CodePageTest, ACharacterOfSeveralBytesEncodesAsTheLowest) {
  CodePage::Table table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<char16_t>(b);
  table[0x90] = u'A';
  table[0xA0] = u'A';
  const CodePage page(9999, table);
  EXPECT_EQ(page.Encode(u"A").bytes, "A");
  EXPECT_EQ(page.Decode("\x90\xA0"), u"AA");
  EXPECT_EQ(page.Encode(u"\u0090").lost, 1u);
}

TEST(CodePageTest, NewsFilesUseTheSystemCodePageOnlyWhereItHasOneBytePerCharacter) {
  const struct {
    unsigned system, longest, news;
  } cases[] = {
      {1252, 1, 1252}, {1251, 1, 1251}, {1250, 1, 1250}, {874, 1, 874},
      {932, 2, 1252},   // Japanese: two bytes
      {65001, 4, 1252}, // UTF-8
      {1253, 0, 1252},  // the system could not say
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NewsCodePageNumber(c.system, c.longest), c.news) << c.system << "/" << c.longest;
  }
}

}  // namespace
}  // namespace tolvex
