// An in-memory file system for tests, with faults to inject.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "platform/file_system.h"

namespace tolvex::testing {

class MemoryFileSystem final : public FileSystem {
 public:
  std::map<Path, std::string> files;
  // Faults: the error the next matching operation returns (0: none).
  std::uint32_t open_input_error = 0;
  std::uint32_t open_output_error = 0;
  std::uint32_t read_error = 0;     // with read_error_after: after that many bytes
  std::size_t read_error_after = 0;
  std::uint32_t write_error = 0;    // with write_error_after: after that many bytes
  std::size_t write_error_after = 0;
  std::uint32_t commit_error = 0;
  // Memory runs out: reads or writes past the `_after` count throw std::bad_alloc,
  // or committing does.
  bool read_throws = false;
  bool write_throws = false;
  bool commit_throws = false;
  // What every replacement says it did, where set: what became of the
  // target and the file it left (a failed commit: its status is commit_error).
  WriteOutcome told{Written::kNotChanged, Status(), false, {}};
  bool tell = false;
  // The size the last replacement was opened with.
  std::uint64_t opened_size = 0;
  std::size_t read_chunk = 7;       // small reads exercise lines across buffers

  Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) override {
    if (open_input_error) return Status(open_input_error);
    auto it = files.find(name);
    if (it == files.end()) return Status(error::kFileNotFound);
    file = std::make_unique<Input>(*this, it->second);
    return Status();
  }

  WriteOutcome OpenReplacement(const Path& name, std::uint64_t size,
                               std::unique_ptr<ReplacementFile>& file) override {
    opened_size = size;
    if (open_output_error) return {Written::kNotChanged, Status(open_output_error), false, {}};
    file = std::make_unique<Replacement>(*this, name);
    return WriteOutcome();
  }

 private:
  class Input final : public InputFile {
   public:
    Input(MemoryFileSystem& fs, std::string content) : fs_(fs), content_(std::move(content)) {}
    Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
      if (fs_.read_throws && pos_ >= fs_.read_error_after) throw std::bad_alloc();
      if (fs_.read_error && pos_ >= fs_.read_error_after) return Status(fs_.read_error);
      got = std::min({capacity, fs_.read_chunk, content_.size() - pos_});
      content_.copy(buffer, got, pos_);
      pos_ += got;
      return Status();
    }

   private:
    MemoryFileSystem& fs_;
    std::string content_;
    std::size_t pos_ = 0;
  };

  class Replacement final : public ReplacementFile {
   public:
    Replacement(MemoryFileSystem& fs, Path target) : fs_(fs), target_(std::move(target)) {}
    Status Write(const char* data, std::size_t size) override {
      if (fs_.write_throws && pending_.size() + size > fs_.write_error_after) throw std::bad_alloc();
      if (fs_.write_error && pending_.size() + size > fs_.write_error_after) {
        pending_.append(data, fs_.write_error_after - std::min(fs_.write_error_after, pending_.size()));
        return Status(fs_.write_error);
      }
      pending_.append(data, size);
      return Status();
    }
    WriteOutcome Commit() override {
      if (fs_.commit_throws) throw std::bad_alloc();
      if (fs_.commit_error) return Told(Written::kNotChanged, Status(fs_.commit_error));
      fs_.files[target_] = pending_;
      return Told(Written::kSaved, Status());
    }
    WriteOutcome Abandon(Status failed) override { return Told(Written::kNotChanged, failed); }

   private:
    WriteOutcome Told(Written what, Status status) const {
      if (!fs_.tell) return {what, status, false, {}};
      WriteOutcome outcome = fs_.told;
      outcome.status = status;
      return outcome;
    }

    MemoryFileSystem& fs_;
    Path target_;
    std::string pending_;
  };
};

}  // namespace tolvex::testing
