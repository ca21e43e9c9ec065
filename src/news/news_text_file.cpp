#include "news/news_text_file.h"

#include <algorithm>

namespace tolvex {
namespace {

constexpr std::string_view kCrLf = "\r\n";

Status ReadLines(FileSlots& slots, std::string& target) {
  std::string line;
  for (;;) {
    bool at_end = false;
    Status status = slots.AtEnd(kNewsSlot, at_end);
    if (!status.ok() || at_end) return status;
    if (!(status = slots.ReadLine(kNewsSlot, line)).ok()) return status;
    if (line.find('\0') != std::string::npos) return Status(error::kInvalidData);
    target.append(line).append(kCrLf);
  }
}

Status WriteLines(FileSlots& slots, std::string_view text) {
  for (;;) {
    const auto stop = std::find_if(text.begin(), text.end(),
                                   [](char c) { return c == '\r' || c == '\n'; });
    const std::size_t n = static_cast<std::size_t>(stop - text.begin());
    Status status = slots.Write(kNewsSlot, text.substr(0, n));
    if (!status.ok()) return status;
    if (!(status = slots.Write(kNewsSlot, kCrLf)).ok()) return status;
    if (n == text.size()) return Status();
    const bool crlf = text[n] == '\r' && n + 1 < text.size() && text[n + 1] == '\n';
    text.remove_prefix(n + (crlf ? 2 : 1));
    if (text.empty()) return slots.Write(kNewsSlot, kCrLf);
  }
}

// The length of the file WriteLines makes of `text`: the length the new file
// is given up front where it is written in place.
std::uint64_t NewsFileSize(std::string_view text) {
  std::uint64_t size = kCrLf.size();  // the line end after the text
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      size += kCrLf.size();
    } else {
      ++size;
    }
  }
  return size;
}

// Runs `body` on the file whose opening `opened` tells of, and closes all files on
// every path: done, the output takes its target's place; failed, or left by
// an exception (memory ran out, also while closing), it is dropped. The guard
// stays armed to the end; once the slots are closed it has nothing to do.
template <typename Body>
WriteOutcome UseSlot(FileSlots& slots, WriteOutcome opened, Body body) {
  if (!opened.ok()) return opened;
  struct Abandon {
    FileSlots& slots;
    ~Abandon() { static_cast<void>(slots.AbandonAll(Status(error::kWriteFault))); }
  } abandon{slots};
  const Status status = body();
  if (!status.ok()) return slots.AbandonAll(status);
  return slots.CloseAll();
}

}  // namespace

Status ReadNewsText(FileSlots& slots, const Path& name, std::string& target) {
  const WriteOutcome opened{Written::kNotChanged, slots.OpenInput(kNewsSlot, name), false, {}};
  return UseSlot(slots, opened, [&] { return ReadLines(slots, target); }).status;
}

std::u16string WithNewsLineEnds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      out.push_back(c);
      continue;
    }
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out.append(u"\r\n");
  }
  return out;
}

WriteOutcome WriteNewsText(FileSlots& slots, const Path& name, std::string_view text) {
  return UseSlot(slots, slots.OpenOutput(kNewsSlot, name, NewsFileSize(text)),
                 [&] { return WriteLines(slots, text); });
}

}  // namespace tolvex
