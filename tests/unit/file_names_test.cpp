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
      {L"C:\\news\\COM\u00B9", true},  // superscript digits count as digits
      {L"C:\\news\\com\u00B2.txt", true},
      {L"C:\\news\\COM\u00B3", true},
      {L"C:\\news\\LPT\u00B9.log", true},
      {L"C:\\news\\lpt\u00B2", true},
      {L"C:\\news\\LPT\u00B3 .txt", true},
      {L"C:\\news\\CONIN$", true},     // the console
      {L"C:\\news\\conin$.txt", true},
      {L"C:\\news\\CONOUT$", true},
      {L"C:\\news\\ConOut$ ..", true},
      {L"CONOUT$.news.txt", true},
      {L"C:\\news\\COM0.txt", false},
      {L"C:\\news\\LPT0", false},
      {L"C:\\news\\COM4\u00B2", false},
      {L"C:\\news\\COM\u00B2x", false},
      {L"C:\\news\\COM\u2074.txt", false},  // superscript four is no digit to Windows
      {L"C:\\news\\LPT\u00B9\u00B2", false},
      {L"C:\\news\\CONIN$x", false},
      {L"C:\\news\\CONOUT", false},
      {L"C:\\news\\conin.txt", false},
      {L"C:\\news\\CONERR$", false},
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

// The path the file dialog builds from its folder and a typed name, whose
// length the name guard checks before the dialog builds it.
TEST(FileNamesTest, PathTheDialogBuildsFromATypedName) {
  const struct {
    const wchar_t* folder;
    const wchar_t* typed;
    std::size_t extension_room;  // ".txt": 4
    std::size_t length;
  } cases[] = {
      {L"C:\\news", L"a.txt", 4, 13},                // C:\news\a.txt
      {L"C:\\", L"a.txt", 4, 8},                     // C:\a.txt
      {L"C:\\news", L"a", 4, 13},                    // the extension added
      {L"C:\\news", L"a", 0, 9},                     // no default extension
      {L"C:\\news", L"\"a b\"", 4, 15},              // C:\news\a b.txt
      {L"C:\\news", L"\"a b.txt", 4, 15},            // no closing quote
      {L"C:\\news", L"news v1.2 final", 4, 27},      // a blank after the dot: no extension
      {L"C:\\news", L"v1.2", 4, 12},                 // extension "2"
      {L"C:\\news", L"a.b\\c", 4, 17},               // the dot is the folder's
      {L"C:\\news", L"D:\\other\\a.txt", 4, 14},     // a drive: whole
      {L"C:\\news", L"d:a.txt", 4, 7},               // taken whole as well
      {L"C:\\news", L"1:x", 4, 9},                   // no drive, no relative name
      {L"C:\\news", L"\\top\\a.txt", 4, 12},         // C:\top\a.txt
      {L"C:\\news", L"/a.txt", 4, 14},               // C:\news\/a.txt: a slash is no root
      {L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", L"a.txt", 4, 46},  // a virtual folder
  };
  for (const auto& c : cases) {
    const std::wstring typed(c.typed);
    EXPECT_EQ(JoinedPathLength(c.folder, TypedName(typed), c.extension_room), c.length)
        << testing::PrintToString(typed) << " in " << testing::PrintToString(std::wstring(c.folder));
  }
}

}  // namespace
}  // namespace tolvex
