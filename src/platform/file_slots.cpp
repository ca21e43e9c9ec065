#include "platform/file_slots.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tolvex {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

const char* FindLineEnd(const char* first, const char* last) {
  return std::find_if(first, last, [](char c) { return c == '\r' || c == '\n'; });
}

}  // namespace

FileSlots::FileSlots(FileSystem& fs) : fs_(fs) {}

FileSlots::~FileSlots() { static_cast<void>(AbandonAll(Status(error::kWriteFault))); }

FileSlots::Slot* FileSlots::Find(int slot, Status& status) {
  if (slot < kFirstSlot || slot > kLastSlot) {
    status = Status(error::kInvalidParameter);
    return nullptr;
  }
  return &slots_[static_cast<std::size_t>(slot - kFirstSlot)];
}

bool FileSlots::InUse(int slot) const {
  if (slot < kFirstSlot || slot > kLastSlot) return false;
  const Slot& s = slots_[static_cast<std::size_t>(slot - kFirstSlot)];
  return s.input || s.output;
}

FileSlots::Slot* FileSlots::FindFree(int slot, Status& status) {
  Slot* s = Find(slot, status);
  if (s && (s->input || s->output)) {
    status = Status(error::kBusy);
    return nullptr;
  }
  return s;
}

// The buffer is allocated before the file is opened: when memory is short,
// nothing is opened or created, and the slot stays free.
Status FileSlots::OpenInput(int slot, const Path& name) {
  Status status;
  Slot* s = FindFree(slot, status);
  if (!s) return status;
  Slot opened;
  opened.buffer.resize(kBufferSize);
  if (!(status = fs_.OpenInput(name, opened.input)).ok()) return status;
  *s = std::move(opened);
  return Status();
}

WriteOutcome FileSlots::OpenOutput(int slot, const Path& name, std::uint64_t size) {
  Status status;
  Slot* s = FindFree(slot, status);
  if (!s) return {Written::kNotChanged, status, false, {}};
  Slot opened;
  opened.buffer.resize(kBufferSize);
  WriteOutcome outcome = fs_.OpenReplacement(name, size, opened.output);
  if (outcome.ok()) *s = std::move(opened);
  return outcome;
}

Status FileSlots::Fill(Slot& s) {
  if (s.pos < s.end || s.eof) return Status();
  std::size_t got = 0;
  Status status = s.input->Read(s.buffer.data(), s.buffer.size(), got);
  if (!status.ok()) return status;
  s.pos = 0;
  s.end = std::min(got, s.buffer.size());
  s.eof = got == 0;
  return Status();
}

Status FileSlots::AtEnd(int slot, bool& at_end) {
  Status status;
  Slot* s = Find(slot, status);
  if (!s) return status;
  if (!s->input) return Status(error::kInvalidHandle);
  status = Fill(*s);
  at_end = s->pos == s->end;
  return status;
}

Status FileSlots::ReadLine(int slot, std::string& line) {
  Status status;
  Slot* s = Find(slot, status);
  if (!s) return status;
  if (!s->input) return Status(error::kInvalidHandle);
  line.clear();
  if (!(status = Fill(*s)).ok()) return status;
  if (s->pos == s->end) return Status(error::kHandleEof);
  for (;;) {
    const char* first = s->buffer.data() + s->pos;
    const char* last = s->buffer.data() + s->end;
    const char* stop = FindLineEnd(first, last);
    line.append(first, stop);
    if (stop == last) {
      s->pos = s->end;
      if (!(status = Fill(*s)).ok()) return status;
      if (s->pos == s->end) return Status();  // last line without a line end
      continue;
    }
    s->pos += static_cast<std::size_t>(stop - first) + 1;
    if (*stop == '\r') {
      // CR LF is one line end, even when the LF starts the next buffer.
      if (!(status = Fill(*s)).ok()) return status;
      if (s->pos < s->end && s->buffer[s->pos] == '\n') ++s->pos;
    }
    return Status();
  }
}

Status FileSlots::Flush(Slot& s) {
  if (s.failure.ok() && s.pos > 0) s.failure = s.output->Write(s.buffer.data(), s.pos);
  s.pos = 0;
  return s.failure;
}

Status FileSlots::Write(int slot, std::string_view bytes) {
  Status status;
  Slot* s = Find(slot, status);
  if (!s) return status;
  if (!s->output) return Status(error::kInvalidHandle);
  if (!s->failure.ok()) return s->failure;
  if (bytes.size() > s->buffer.size() - s->pos) {
    if (!(status = Flush(*s)).ok()) return status;
    if (bytes.size() >= s->buffer.size()) {
      s->failure = s->output->Write(bytes.data(), bytes.size());
      return s->failure;
    }
  }
  std::memcpy(s->buffer.data() + s->pos, bytes.data(), bytes.size());
  s->pos += bytes.size();
  return Status();
}

WriteOutcome FileSlots::CloseAll() {
  WriteOutcome outcome;
  for (Slot& s : slots_) {
    if (s.output) {
      const Status status = Flush(s);
      WriteOutcome closed = status.ok() ? s.output->Commit() : s.output->Abandon(status);
      if (outcome.ok() && (!closed.ok() || outcome.clean())) outcome = std::move(closed);
    }
    s = Slot{};
  }
  return outcome;
}

WriteOutcome FileSlots::AbandonAll(Status failed) {
  WriteOutcome first{Written::kNotChanged, failed, false, {}};
  bool outputs = false;
  bool told = false;
  for (Slot& s : slots_) {
    if (s.output) {
      WriteOutcome left = s.output->Abandon(failed);
      const bool tells = left.what == Written::kMayHoldPart || !left.left.empty();
      if (!told && (tells || !outputs)) first = std::move(left);
      outputs = true;
      told = told || tells;
    }
    s = Slot{};
  }
  return first;
}

}  // namespace tolvex
