#include "news/news_text_file.h"

#include <gtest/gtest.h>

#include "memory_file_system.h"

namespace tolvex {
namespace {

using testing::MemoryFileSystem;

const Path kNews = L"C:\\news\\news.txt";

struct Case {
  const char* name;
  std::string in;
  std::string out;
};

class NewsTextFileTest : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  FileSlots slots{fs};
};

TEST_F(NewsTextFileTest, ReadingRule) {
  const std::string long_line(200000, 'x');
  const std::string at_buffer_end(64 * 1024 - 1, 'y');  // CR ends one buffer, LF starts the next
  const Case cases[] = {
      {"empty file", "", ""},
      {"two lines", "A\r\nB\r\n", "A\r\nB\r\n"},
      {"last line without line end", "A\r\nB", "A\r\nB\r\n"},
      {"two empty lines", "\r\n\r\n", "\r\n\r\n"},
      {"one line end only", "\r\n", "\r\n"},
      {"lone LF ends a line", "A\nB\n", "A\r\nB\r\n"},
      {"lone CR ends a line", "A\rB\r", "A\r\nB\r\n"},
      {"mixed line ends", "A\r\n\nB\rC", "A\r\n\r\nB\r\nC\r\n"},
      {"CR CR LF is two line ends", "A\r\r\nB", "A\r\n\r\nB\r\n"},
      {"LF CR is two line ends", "A\n\rB", "A\r\n\r\nB\r\n"},
      {"end-of-file marker is data", "A\x1A" "B\x1A", "A\x1A" "B\x1A\r\n"},
      {"high bytes pass through", "\xE4\xF6\xFC\x80\xFF", "\xE4\xF6\xFC\x80\xFF\r\n"},
      {"long line", long_line, long_line + "\r\n"},
      {"CR LF across buffers", at_buffer_end + "\r\nB", at_buffer_end + "\r\nB\r\n"},
  };
  for (std::size_t chunk : {std::size_t{7}, std::size_t{1 << 20}}) {
    fs.read_chunk = chunk;
    for (const Case& c : cases) {
      fs.files[kNews] = c.in;
      std::string text;
      ASSERT_TRUE(ReadNewsText(slots, kNews, text).ok()) << c.name;
      EXPECT_EQ(text, c.out) << c.name << ", read in chunks of " << chunk;
      EXPECT_FALSE(slots.InUse(kNewsSlot)) << c.name;
    }
  }
}

TEST_F(NewsTextFileTest, ReadingAppendsToTheTarget) {
  fs.files[kNews] = "B";
  std::string text = "A\r\n";
  ASSERT_TRUE(ReadNewsText(slots, kNews, text).ok());
  EXPECT_EQ(text, "A\r\nB\r\n");
  fs.files[kNews] = "";
  ASSERT_TRUE(ReadNewsText(slots, kNews, text).ok());
  EXPECT_EQ(text, "A\r\nB\r\n");
}

TEST_F(NewsTextFileTest, ReadingFailuresCloseTheSlot) {
  struct Failure {
    const char* name;
    std::string content;
    std::uint32_t read_error;
    std::size_t read_error_after;
    std::uint32_t expected;  // 0: std::bad_alloc comes through
    std::string partial;  // what the target holds afterwards
    bool out_of_memory = false;
  };
  const Failure failures[] = {
      {"NUL byte", std::string("A\r\nB\0C\r\nD", 9), 0, 0, error::kInvalidData, "A\r\n"},
      {"NUL alone", std::string(1, '\0'), 0, 0, error::kInvalidData, ""},
      {"device error part way", "A\r\nB\r\nC\r\n", 23, 4, 23, "A\r\n"},
      {"memory runs out part way", "A\r\nB\r\nC\r\n", 0, 4, 0, "A\r\n", true},
  };
  fs.read_chunk = 2;
  for (const Failure& f : failures) {
    fs.files[kNews] = f.content;
    fs.read_error = f.read_error;
    fs.read_error_after = f.read_error_after;
    fs.read_throws = f.out_of_memory;
    std::string text;
    if (f.out_of_memory) {
      EXPECT_THROW(ReadNewsText(slots, kNews, text).ok(), std::bad_alloc) << f.name;
    } else {
      EXPECT_EQ(ReadNewsText(slots, kNews, text).code(), f.expected) << f.name;
    }
    EXPECT_EQ(text, f.partial) << f.name;
    EXPECT_FALSE(slots.InUse(kNewsSlot)) << f.name;
  }
  fs.read_error = 0;
  fs.read_throws = false;
  std::string text;
  EXPECT_EQ(ReadNewsText(slots, L"missing.txt", text).code(), error::kFileNotFound);
  fs.files[kNews] = "ok";
  ASSERT_TRUE(ReadNewsText(slots, kNews, text).ok()) << "a failed read must not hold the slot";
  EXPECT_EQ(text, "ok\r\n");
}

TEST_F(NewsTextFileTest, WritingRule) {
  const Case cases[] = {
      {"empty text", "", "\r\n"},
      {"two lines", "A\r\nB\r\n", "A\r\nB\r\n\r\n"},
      {"one word", "A", "A\r\n"},
      {"one line end", "\r\n", "\r\n\r\n"},
      {"lone LF becomes CR LF", "A\nB", "A\r\nB\r\n"},
      {"lone CR becomes CR LF", "A\rB\r", "A\r\nB\r\n\r\n"},
      {"CR CR LF", "A\r\r\nB", "A\r\n\r\nB\r\n"},
      {"high bytes and 0x1A as they are", "\x80\xFF\x1A", "\x80\xFF\x1A\r\n"},
  };
  for (const Case& c : cases) {
    fs.files[kNews] = std::string(1000, 'o');  // a longer old file leaves nothing behind
    ASSERT_TRUE(WriteNewsText(slots, kNews, c.in).ok()) << c.name;
    EXPECT_EQ(fs.files[kNews], c.out) << c.name;
    EXPECT_EQ(fs.opened_size, c.out.size()) << c.name << ": the size told in advance";
    EXPECT_FALSE(slots.InUse(kNewsSlot)) << c.name;
  }
}

TEST_F(NewsTextFileTest, ReadingWhatWasWrittenGivesTheTextAndOneLineMore) {
  const std::string texts[] = {"", "A", "A\r\nB\r\n", "\r\n\r\n", "x\r\n\r\ny", std::string(70000, 'z')};
  for (const std::string& t : texts) {
    ASSERT_TRUE(WriteNewsText(slots, kNews, t).ok());
    std::string back;
    ASSERT_TRUE(ReadNewsText(slots, kNews, back).ok());
    EXPECT_EQ(back, t + "\r\n");
  }
}

TEST_F(NewsTextFileTest, LoadThenSaveAddsOneLineEnd) {
  const std::string files[] = {"A\r\nB\r\n", "A\r\nB", ""};
  const std::string saved[] = {"A\r\nB\r\n\r\n", "A\r\nB\r\n\r\n", "\r\n"};
  for (std::size_t i = 0; i < std::size(files); ++i) {
    fs.files[kNews] = files[i];
    std::string text;
    ASSERT_TRUE(ReadNewsText(slots, kNews, text).ok());
    ASSERT_TRUE(WriteNewsText(slots, kNews, text).ok());
    EXPECT_EQ(fs.files[kNews], saved[i]);
  }
}

TEST_F(NewsTextFileTest, FailedWriteLeavesTheOldFile) {
  struct Failure {
    const char* name;
    std::uint32_t open_error, write_error, commit_error;
    std::size_t write_error_after;
    bool out_of_memory = false;  // std::bad_alloc comes through
    bool out_of_memory_at_commit = false;
  };
  const Failure failures[] = {
      {"cannot open", 5, 0, 0, 0},
      {"disk full at once", 0, error::kDiskFull, 0, 0},
      {"disk full part way", 0, error::kDiskFull, 0, 70000},
      {"cannot replace", 0, 0, 32, 0},
      {"memory runs out part way", 0, 0, 0, 70000, true},
      {"memory runs out while closing", 0, 0, 0, 0, false, true},
  };
  const std::string text(200000, 'n');
  for (const Failure& f : failures) {
    fs.files[kNews] = "old news\r\n";
    fs.open_output_error = f.open_error;
    fs.write_error = f.write_error;
    fs.write_error_after = f.write_error_after;
    fs.commit_error = f.commit_error;
    fs.write_throws = f.out_of_memory;
    fs.commit_throws = f.out_of_memory_at_commit;
    if (f.out_of_memory || f.out_of_memory_at_commit) {
      EXPECT_THROW(WriteNewsText(slots, kNews, text).ok(), std::bad_alloc) << f.name;
    } else {
      EXPECT_FALSE(WriteNewsText(slots, kNews, text).ok()) << f.name;
    }
    EXPECT_EQ(fs.files[kNews], "old news\r\n") << f.name;
    EXPECT_FALSE(slots.InUse(kNewsSlot)) << f.name;
  }
  fs.open_output_error = fs.write_error = fs.commit_error = 0;
  fs.write_throws = fs.commit_throws = false;
  EXPECT_TRUE(WriteNewsText(slots, kNews, "after").ok()) << "a failed write must not hold the slot";
}

TEST_F(NewsTextFileTest, BusySlotFailsBothRules) {
  fs.files[kNews] = "A";
  ASSERT_TRUE(slots.OpenInput(kNewsSlot, kNews).ok());
  std::string text;
  EXPECT_EQ(ReadNewsText(slots, kNews, text).code(), error::kBusy);
  EXPECT_EQ(WriteNewsText(slots, L"other.txt", "B").status.code(), error::kBusy);
  EXPECT_EQ(fs.files.count(L"other.txt"), 0u);
  EXPECT_TRUE(slots.InUse(kNewsSlot)) << "the file already open stays open";
}

// Pasted text gets the line ends the reading rule gives a file.
TEST(NewsLineEndsTest, EveryLineEndBecomesCrLf) {
  const struct {
    const char* name;
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {"no line end", u"news", u"news"},
      {"empty", u"", u""},
      {"LF", u"a\nb", u"a\r\nb"},
      {"CR", u"a\rb", u"a\r\nb"},
      {"CR LF", u"a\r\nb", u"a\r\nb"},
      {"CR CR LF is two", u"a\r\r\nb", u"a\r\n\r\nb"},
      {"LF CR is two", u"a\n\rb", u"a\r\n\r\nb"},
      {"LF at the start", u"\nab", u"\r\nab"},
      {"CR at the start", u"\rab", u"\r\nab"},
      {"CR LF at the start", u"\r\nab", u"\r\nab"},
      {"LF at the end", u"ab\n", u"ab\r\n"},
      {"CR at the end", u"ab\r", u"ab\r\n"},
      {"CR LF at the end", u"ab\r\n", u"ab\r\n"},
      {"CR CR LF at the end", u"ab\r\r\n", u"ab\r\n\r\n"},
      {"LF CR at the end", u"ab\n\r", u"ab\r\n\r\n"},
      {"line ends only", u"\n\n\r\r", u"\r\n\r\n\r\n\r\n"},
      {"all kinds after a text", u"start lf1\nlf2\rcr3\r\r\nend",
       u"start lf1\r\nlf2\r\ncr3\r\n\r\nend"},
      {"other characters stay", u"\u00E4\t\x0B\x0C\u2028\u20AC", u"\u00E4\t\x0B\x0C\u2028\u20AC"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithNewsLineEnds(c.in), c.out) << c.name;
  }
}

}  // namespace
}  // namespace tolvex
