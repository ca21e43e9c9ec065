// Fuzzes the news file rules and the code-page conversion, checking what must
// hold for every input rather than waiting for a crash:
//  - reading gives the file's lines, each ended by CR LF, and nothing else;
//    a file with a NUL byte is refused, with only whole lines read before it;
//  - for any text t that reading produced, writing t and reading it again
//    gives t followed by one CR LF;
//  - writing any text gives CR LF line ends only, ending with CR LF;
//  - a write either succeeds with the new content or fails with the injected
//    error and leaves the old content; no slot stays open either way;
//  - bytes -> code page -> bytes is the identity, and so is text made of the
//    page's characters -> bytes -> text; other characters become '?', counted.
//
// The first two input bytes choose how the in-memory file system reads and
// which fault it injects; the rest is the file (or the text, or UTF-16 units).
#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "memory_file_system.h"
#include "platform/code_page.h"
#include "news/news_text_file.h"

namespace tolvex {
namespace {

using testing::MemoryFileSystem;

const Path kNews = L"C:\\news\\news.txt";
const std::string kOldContent = "old news\r\n";
constexpr std::uint32_t kInjected = 0xE0F;  // an error code nothing else returns

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "news_fuzz: property broken: %s\n", what);
  std::abort();
}

// The lines of `bytes` by the reading rule: CR LF, CR and LF each end a line;
// a last line without a line end is still a line.
std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.push_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

std::string JoinCrLf(const std::vector<std::string_view>& lines, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out.append(lines[i]).append("\r\n");
  return out;
}

bool OnlyCrLfLineEnds(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n')) return false;
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) return false;
  }
  return true;
}

bool EndsWithCrLf(std::string_view s) { return s.size() >= 2 && s.substr(s.size() - 2) == "\r\n"; }

struct Options {
  std::size_t read_chunk = 7;
  enum Fault { kNone, kOpenOutput, kWrite, kCommit, kRead } fault = kNone;
  std::size_t fault_after = 0;
};

Options TakeOptions(const std::uint8_t*& data, std::size_t& size) {
  Options o;
  if (size < 2) return o;
  o.read_chunk = (data[0] & 0x10) ? std::size_t{1} << 20 : std::size_t{1} + (data[0] & 0x0F);
  o.fault = static_cast<Options::Fault>(data[1] % 5);
  o.fault_after = static_cast<std::size_t>(data[1] / 5) * 8;
  data += 2;
  size -= 2;
  return o;
}

void CheckReading(const Options& o, std::string_view content) {
  MemoryFileSystem fs;
  FileSlots slots(fs);
  fs.read_chunk = o.read_chunk;
  fs.files[kNews] = std::string(content);
  if (o.fault == Options::kRead) {
    fs.read_error = kInjected;
    fs.read_error_after = o.fault_after;
  }
  const std::vector<std::string_view> lines = Lines(content);
  std::string text;
  const Status status = ReadNewsText(slots, kNews, text);
  Check(!slots.InUse(kNewsSlot), "reading leaves no slot open");
  Check(OnlyCrLfLineEnds(text), "read text has CR LF line ends only");
  Check(text.empty() || EndsWithCrLf(text), "read text ends with CR LF");

  const std::size_t nul = content.find('\0');
  if (status.ok()) {
    Check(nul == std::string_view::npos, "a file with a NUL byte is refused");
    Check(text == JoinCrLf(lines, lines.size()), "read text is the file's lines, each ended by CR LF");
  } else if (status.code() == error::kInvalidData) {
    Check(nul != std::string_view::npos, "only a NUL byte makes a file invalid");
  } else {
    Check(status.code() == kInjected, "a failed read reports the device's error");
  }
  if (!status.ok()) {
    // Only whole lines, and only lines before the failure.
    const std::vector<std::string_view> got = Lines(text);
    Check(got.size() <= lines.size() && text == JoinCrLf(lines, got.size()),
          "after a failure the target holds whole leading lines only");
    return;
  }

  // Load then Save: the text through the editor's code page and back, written.
  fs.read_error = 0;
  const CodePage& page = CodePage::Windows1252();
  const CodePage::Encoded saved = page.Encode(page.Decode(text));
  Check(saved.lost == 0 && saved.bytes == text, "loaded text survives the code page");
  Check(WriteNewsText(slots, kNews, saved.bytes).ok(), "writing read text succeeds");
  Check(fs.files[kNews] == text + "\r\n", "writing read text t gives t and one CR LF");
  std::string back;
  Check(ReadNewsText(slots, kNews, back).ok(), "reading what was written succeeds");
  Check(back == text + "\r\n", "reading what writing t gave is t and one CR LF");
}

void CheckWriting(const Options& o, std::string_view text) {
  MemoryFileSystem fs;
  FileSlots slots(fs);
  fs.files[kNews] = kOldContent;
  switch (o.fault) {
    case Options::kOpenOutput: fs.open_output_error = kInjected; break;
    case Options::kWrite:
      fs.write_error = kInjected;
      fs.write_error_after = o.fault_after;
      break;
    case Options::kCommit: fs.commit_error = kInjected; break;
    case Options::kNone:
    case Options::kRead: break;
  }
  const std::vector<std::string_view> lines = Lines(text);
  const std::string expected = text.empty() ? std::string("\r\n")
                               : (text.back() == '\r' || text.back() == '\n')
                                   ? JoinCrLf(lines, lines.size()) + "\r\n"
                                   : JoinCrLf(lines, lines.size());
  const Status status = WriteNewsText(slots, kNews, text).status;
  Check(!slots.InUse(kNewsSlot), "writing leaves no slot open");
  if (status.ok()) {
    Check(fs.files[kNews] == expected, "written file is the text's lines, CR LF each, one more");
    Check(fs.opened_size == expected.size(), "the size told in advance is the written file's");
  } else {
    Check(status.code() == kInjected, "a failed write reports the injected error");
    Check(fs.files[kNews] == kOldContent, "a failed write leaves the old content");
  }
  const std::string& file = fs.files[kNews];
  Check(OnlyCrLfLineEnds(file) && EndsWithCrLf(file), "a news file has CR LF line ends only");
}

struct PageUnderTest {
  const CodePage& page;
  std::bitset<0x10000> holds;  // the characters some byte maps to
  bool one_to_one;
};

PageUnderTest Describe(const CodePage& page) {
  PageUnderTest p{page, {}, true};
  for (unsigned b = 0; b < 256; ++b) {
    const char16_t c = page.ToUnicode(static_cast<unsigned char>(b));
    if (p.holds[c]) p.one_to_one = false;
    p.holds[c] = true;
  }
  return p;
}

// A page where several bytes share one character (undefined bytes shown as
// U+FFFD), as a system page may be: such a byte encodes as the lowest of them.
const CodePage& SharedCharacterPage() {
  static const CodePage page = [] {
    CodePage::Table t{};
    for (unsigned b = 0; b < 256; ++b) {
      t[b] = b < 0x80 ? static_cast<char16_t>(b)
           : b < 0xC0 ? static_cast<char16_t>(0x0400 + (b - 0x80))
                      : u'\uFFFD';
    }
    return CodePage(1251, t);
  }();
  return page;
}

void CheckCodePage(const PageUnderTest& p, std::string_view bytes) {
  const std::u16string text = p.page.Decode(bytes);
  Check(text.size() == bytes.size(), "one character per byte");
  const CodePage::Encoded encoded = p.page.Encode(text);
  Check(encoded.lost == 0, "the page's own characters are never lost");
  Check(p.page.Decode(encoded.bytes) == text, "page text -> bytes -> text is the identity");
  if (p.one_to_one) Check(encoded.bytes == bytes, "bytes -> text -> bytes is the identity");

  // The same bytes taken as UTF-16 units: anything the page lacks becomes '?'.
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                     static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
  }
  const CodePage::Encoded lossy = p.page.Encode(units);
  const std::u16string back = p.page.Decode(lossy.bytes);
  std::size_t j = 0, lost = 0, first_lost = 0;
  for (std::size_t i = 0; i < units.size(); ++i, ++j) {
    Check(j < back.size(), "no character vanishes");
    if (p.holds[units[i]]) {
      Check(back[j] == units[i], "a character the page holds comes back");
      continue;
    }
    Check(back[j] == u'?', "a character the page lacks becomes '?'");
    if (lost++ == 0) first_lost = i;
    const bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
                      units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    i += pair;  // a surrogate pair is one character, one '?'
  }
  Check(j == back.size(), "nothing is added");
  Check(lossy.lost == lost, "every lost character is counted");
  Check(lost == 0 || lossy.first_lost == first_lost, "the first lost character is located");
}

}  // namespace
}  // namespace tolvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvex;
  static const PageUnderTest pages[] = {Describe(CodePage::Windows1252()),
                                        Describe(SharedCharacterPage())};
  const Options options = TakeOptions(data, size);
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  CheckReading(options, content);
  CheckWriting(options, content);
  for (const PageUnderTest& page : pages) CheckCodePage(page, content);
  return 0;
}
