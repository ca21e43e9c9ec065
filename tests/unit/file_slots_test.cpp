#include "platform/file_slots.h"

#include <gtest/gtest.h>

#include "memory_file_system.h"

namespace tolvex {
namespace {

using testing::MemoryFileSystem;

class FileSlotsTest : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  FileSlots slots{fs};
};

TEST_F(FileSlotsTest, SlotNumbersAndUse) {
  fs.files[L"a"] = "x";
  for (int bad : {0, -1, FileSlots::kLastSlot + 1}) {
    EXPECT_EQ(slots.OpenInput(bad, L"a").code(), error::kInvalidParameter) << bad;
    EXPECT_EQ(slots.OpenOutput(bad, L"a").status.code(), error::kInvalidParameter) << bad;
  }
  ASSERT_TRUE(slots.OpenInput(1, L"a").ok());
  EXPECT_EQ(slots.OpenInput(1, L"a").code(), error::kBusy);
  EXPECT_EQ(slots.OpenOutput(1, L"b").status.code(), error::kBusy);
  EXPECT_TRUE(slots.OpenOutput(2, L"b").ok()) << "other slots are independent";
  EXPECT_TRUE(slots.CloseAll().ok());
  EXPECT_FALSE(slots.InUse(1));
  EXPECT_FALSE(slots.InUse(2));
  EXPECT_TRUE(slots.OpenInput(1, L"a").ok());
}

TEST_F(FileSlotsTest, OperationsNeedTheRightKindOfFile) {
  fs.files[L"a"] = "x";
  std::string line;
  bool at_end = false;
  EXPECT_EQ(slots.ReadLine(1, line).code(), error::kInvalidHandle);
  EXPECT_EQ(slots.AtEnd(1, at_end).code(), error::kInvalidHandle);
  EXPECT_EQ(slots.Write(1, "x").code(), error::kInvalidHandle);
  ASSERT_TRUE(slots.OpenInput(1, L"a").ok());
  EXPECT_EQ(slots.Write(1, "x").code(), error::kInvalidHandle);
  ASSERT_TRUE(slots.OpenOutput(2, L"b").ok());
  EXPECT_EQ(slots.ReadLine(2, line).code(), error::kInvalidHandle);
}

TEST_F(FileSlotsTest, ReadingPastTheEndFails) {
  fs.files[L"a"] = "one\r\n";
  ASSERT_TRUE(slots.OpenInput(1, L"a").ok());
  std::string line;
  bool at_end = true;
  ASSERT_TRUE(slots.AtEnd(1, at_end).ok());
  EXPECT_FALSE(at_end);
  ASSERT_TRUE(slots.ReadLine(1, line).ok());
  EXPECT_EQ(line, "one");
  ASSERT_TRUE(slots.AtEnd(1, at_end).ok());
  EXPECT_TRUE(at_end);
  EXPECT_EQ(slots.ReadLine(1, line).code(), error::kHandleEof);
}

TEST_F(FileSlotsTest, OutputReplacesTheTargetOnlyWhenClosed) {
  fs.files[L"t"] = "old";
  ASSERT_TRUE(slots.OpenOutput(1, L"t").ok());
  ASSERT_TRUE(slots.Write(1, "new").ok());
  ASSERT_TRUE(slots.Write(1, std::string(200000, 'b')).ok()) << "larger than the buffer";
  EXPECT_EQ(fs.files[L"t"], "old");
  ASSERT_TRUE(slots.CloseAll().ok());
  EXPECT_EQ(fs.files[L"t"], "new" + std::string(200000, 'b'));

  ASSERT_TRUE(slots.OpenOutput(1, L"t").ok());
  ASSERT_TRUE(slots.Write(1, "discarded").ok());
  EXPECT_EQ(slots.AbandonAll(Status(error::kDiskFull)).what, Written::kNotChanged);
  EXPECT_EQ(fs.files[L"t"].substr(0, 3), "new");
}

TEST_F(FileSlotsTest, WriteFailureIsSticky) {
  fs.files[L"t"] = "old";
  fs.write_error = error::kDiskFull;
  fs.write_error_after = 10;
  ASSERT_TRUE(slots.OpenOutput(1, L"t").ok());
  EXPECT_EQ(slots.Write(1, std::string(100000, 'x')).code(), error::kDiskFull);
  fs.write_error = 0;
  EXPECT_EQ(slots.Write(1, "y").code(), error::kDiskFull);
  EXPECT_EQ(slots.CloseAll().status.code(), error::kDiskFull);
  EXPECT_EQ(fs.files[L"t"], "old");
  EXPECT_FALSE(slots.InUse(1));
}

TEST_F(FileSlotsTest, WhatAnOutputLeftBehindComesWithItsOutcome) {
  const struct {
    const char* name;
    std::uint32_t commit_error;
    bool abandon;
    Written what;
  } cases[] = {
      {"failed commit", 32, false, Written::kNotChanged},
      {"commit that succeeded", 0, false, Written::kSavedInPlace},
      {"abandoned", 0, true, Written::kMayHoldPart},
  };
  fs.told.left = L"C:\\news\\~tv0001.tmp";
  fs.told.held = true;
  fs.tell = true;
  for (const auto& c : cases) {
    fs.commit_error = c.commit_error;
    fs.told.what = c.what;
    ASSERT_TRUE(slots.OpenOutput(1, L"t").ok()) << c.name;
    const WriteOutcome outcome =
        c.abandon ? slots.AbandonAll(Status(error::kDiskFull)) : slots.CloseAll();
    EXPECT_EQ(outcome.status.code(), c.abandon ? error::kDiskFull : c.commit_error) << c.name;
    EXPECT_EQ(outcome.what, c.what) << c.name;
    EXPECT_EQ(outcome.left, L"C:\\news\\~tv0001.tmp") << c.name;
    EXPECT_TRUE(outcome.held) << c.name;
    EXPECT_FALSE(slots.InUse(1)) << c.name;
  }
}

}  // namespace
}  // namespace tolvex
