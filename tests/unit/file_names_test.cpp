#include "platform/file_names.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

TEST(FileNamesTest, NamesWindowsKeepsForDevices) {
  const struct {
    const wchar_t* path;
    bool device;
  } cases[] = {
      {L"C:\\news\\NUL.txt", true},
      {L"C:\\news\\nul", true},
      {L"C:\\news\\CON", true},
      {L"C:\\news\\prn.news.txt", true},
      {L"C:\\news\\Aux.txt", true},
      {L"C:\\news\\com1", true},
      {L"C:\\news\\COM9.txt", true},
      {L"C:\\news\\lpt1.txt", true},
      {L"C:\\news\\LPT9", true},
      {L"C:\\news\\nul .txt", true},   // blanks before the dot
      {L"C:\\news\\aux...", true},     // trailing dots
      {L"C:\\news\\con  ", true},      // trailing blanks
      {L"C:/news/Com1.log", true},
      {L"nul.txt", true},              // a bare name
      {L"C:nul", true},                // a drive and a bare name
      {L"C:\\news\\COM1:", true},
      {L"C:\\news\\COM0.txt", false},
      {L"C:\\news\\COM10.txt", false},
      {L"C:\\news\\LPT.txt", false},
      {L"C:\\news\\nullify.txt", false},
      {L"C:\\news\\connie.txt", false},
      {L"C:\\news\\ nul.txt", false},  // a leading blank is part of the name
      {L"C:\\news\\news.nul", false},
      {L"C:\\nul\\news.txt", false},   // only the last part counts
      {L"C:\\news\\auxiliary", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDeviceName(c.path), c.device) << testing::PrintToString(std::wstring(c.path));
  }
}

}  // namespace
}  // namespace tolvex
