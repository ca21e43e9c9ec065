// The Win32 layer on a real (Wine) file system: replacing files safely,
// Unicode paths, the system code page and the dialog's filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "driver.h"
#include "news/news_commands.h"
#include "news/news_text_file.h"
#include "platform/common_dialog.h"
#include "platform/system_code_page.h"
#include "platform/win32_file_system.h"

namespace tolvex {
namespace {

using namespace driver;

WriteOutcome Write(const Win32FileApi& api, const std::wstring& path, const std::string& content) {
  Win32FileSystem fs(api);
  std::unique_ptr<ReplacementFile> file;
  WriteOutcome outcome = fs.OpenReplacement(path, content.size(), file);
  if (!outcome.ok()) return outcome;
  const Status written = file->Write(content.data(), content.size());
  return written.ok() ? file->Commit() : file->Abandon(written);
}

Status Replace(const std::wstring& path, const std::string& content) {
  return Write(Win32FileApi(), path, content).status;
}

TEST(Win32FileSystemTest, ReplacesWholeFilesAndLeavesNoTemporaryFile) {
  const std::wstring longest(251, L'n');  // with ".txt", the longest name Linux and Windows take
  const struct {
    std::wstring name;
    const char* old_content;  // nullptr: no file yet
    std::string content;
  } cases[] = {
      {L"new.txt", nullptr, "fresh\r\n"},
      {longest + L".txt", nullptr, "the longest name, new\r\n"},
      {longest + L".txt", "old", "the longest name, replaced\r\n"},
      {L"a", "old", "a name shorter than the temporary file's\r\n"},
      // The folder leaves too little room for the temporary file's name in MAX_PATH.
      {std::wstring(230, L'f') + L"\\a", nullptr, "new, in a folder near MAX_PATH\r\n"},
      {std::wstring(230, L'f') + L"\\a", "old", "replaced, in a folder near MAX_PATH\r\n"},
      {L"longer.txt", "a much longer old content\r\n", "short\r\n"},
      {L"empty.txt", "old", ""},
      {L"big.txt", "old", std::string(3 << 20, 'b')},
      {L"\u043d\u043e\u0432\u043e\u0441\u0442\u0438.txt", "old", "cyrillic name\r\n"},
  };
  for (const auto& c : cases) {
    const std::size_t slash = c.name.rfind(L'\\');
    const std::wstring base = slash == std::wstring::npos ? c.name : c.name.substr(slash + 1);
    std::wstring folder = FreshFolder(L"replace");
    if (slash != std::wstring::npos) {
      folder += L"\\" + c.name.substr(0, slash);
      ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    const std::wstring path = folder + L"\\" + base;
    if (c.old_content) WriteFileBytes(path, c.old_content);
    ASSERT_TRUE(Replace(path, c.content).ok()) << Narrow(base) << " in " << Narrow(folder);
    EXPECT_TRUE(SameText(ReadFileBytes(path), c.content)) << Narrow(base);
    EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{base});
  }
}

TEST(Win32FileSystemTest, RefusedTargetsStayAsTheyWere) {
  const std::wstring folder = FreshFolder(L"refused");
  const std::wstring target = folder + L"\\news.txt";
  const struct {
    const char* name;
    std::function<void()> arrange;
    std::function<void()> undo;
    std::wstring path;
    DWORD expected;
  } cases[] = {
      {"missing folder", [] {}, [] {}, folder + L"\\nope\\news.txt", ERROR_PATH_NOT_FOUND},
      {"folder as the file", [&] { CreateDirectoryW((folder + L"\\dir").c_str(), nullptr); },
       [] {}, folder + L"\\dir", ERROR_ACCESS_DENIED},
      {"read-only file", [&] { SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY); },
       [&] { SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL); }, target,
       ERROR_ACCESS_DENIED},
      {"invalid name", [] {}, [] {}, folder + L"\\bad|name?.txt", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    WriteFileBytes(target, "old news\r\n");
    c.arrange();
    const Status status = Replace(c.path, "new news\r\n");
    c.undo();
    EXPECT_EQ(status.code(), c.expected) << c.name;
    EXPECT_EQ(ReadFileBytes(target), "old news\r\n") << c.name;
    EXPECT_FALSE(FileExists(folder + L"\\nope")) << c.name;
  }
  EXPECT_EQ(FolderNames(folder), (std::vector<std::wstring>{L"dir", L"news.txt"}));
}

TEST(Win32FileSystemTest, FileLockedByAnotherProgramStaysAsItWas) {
  const std::wstring folder = FreshFolder(L"locked");
  const std::wstring target = folder + L"\\news.txt";
  WriteFileBytes(target, "old news\r\n");
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
    UniqueFile lock(CreateFileW(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(Replace(target, "new").code(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(ReadFileBytes(target), "old news\r\n");
  EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{L"news.txt"});
}

TEST(Win32FileSystemTest, UnfinishedReplacementIsDiscarded) {
  const std::wstring folder = FreshFolder(L"discard");
  const std::wstring target = folder + L"\\news.txt";
  WriteFileBytes(target, "old news\r\n");
  {
    Win32FileSystem fs;
    std::unique_ptr<ReplacementFile> file;
    ASSERT_TRUE(fs.OpenReplacement(target, kUnknownSize, file).ok());
    ASSERT_TRUE(file->Write("half", 4).ok());
  }
  EXPECT_EQ(ReadFileBytes(target), "old news\r\n");
  EXPECT_EQ(FolderNames(folder), std::vector<std::wstring>{L"news.txt"});
}

TEST(Win32FileSystemTest, FailedRenameOrNoRoomForANewFileNeverLosesTheOnlyCopy) {
  const struct {
    const char* name;
    SystemFaults faults;
    const char* old_content;  // nullptr: no file yet
    DWORD expected;
    const char* target_after;  // "<missing>": no file
    Written what;
    bool in_place = false;     // an existing target is still the same file: written in place
    unsigned new_files = 0;    // names tried for a new file, where counted
  } cases[] = {
      {"the rename is refused for good (a holder that lets others write): written in place",
       {ERROR_ACCESS_DENIED}, "a much longer old content\r\n", 0, "new news\r\n", Written::kSavedInPlace, true},
      {"the rename fails otherwise: the file stays, the new one goes", {ERROR_NOT_SAME_DEVICE},
       "old news\r\n", ERROR_NOT_SAME_DEVICE, "old news\r\n", Written::kNotChanged},
      {"a new name's rename is refused for good: no file", {ERROR_ACCESS_DENIED}, nullptr,
       ERROR_ACCESS_DENIED, "<missing>", Written::kNotCreated},
      {"no new file may be made: a longer old file is written in place", {0, true},
       "a much longer old content\r\n", 0, "new news\r\n", Written::kSavedInPlace, true},
      {"no new file may be made: a shorter old file is written in place", {0, true}, "old\r\n", 0,
       "new news\r\n", Written::kSavedInPlace, true},
      {"three names refused (a name may be held): the fourth is made, and replaces the file",
       {0, false, 3}, "old news\r\n", 0, "new news\r\n", Written::kSaved},
      {"no new file may be made, and there is no file yet", {0, true}, nullptr, ERROR_ACCESS_DENIED,
       "<missing>", Written::kNotCreated},
      {"every name for a new file is taken: 16 are tried", {0, false, 0, true}, "old news\r\n",
       ERROR_FILE_EXISTS, "old news\r\n", Written::kNotChanged, false, 16},
      {"another program puts a folder in the file's place: nothing is moved onto it", {0, false, 0, false, true},
       "old news\r\n", ERROR_ACCESS_DENIED, "<missing>", Written::kNotChanged},
  };
  const Win32FileApi api = FaultyApi();
  for (const auto& c : cases) {
    const std::wstring folder = FreshFolder(L"failed-rename");
    const std::wstring target = folder + L"\\news.txt";
    if (c.old_content) WriteFileBytes(target, c.old_content);
    const auto file_id = [&] {  // which file the name stands for
      UniqueFile f(CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
      BY_HANDLE_FILE_INFORMATION info{};
      if (!f || !GetFileInformationByHandle(f.get(), &info)) return ULONGLONG{0};
      return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    };
    const ULONGLONG old_id = file_id();
    g_faults = c.faults;
    const WriteOutcome outcome = Write(api, target, "new news\r\n");
    const SystemFaults seen = g_faults;
    g_faults = SystemFaults{};
    EXPECT_EQ(outcome.status.code(), c.expected) << c.name;
    EXPECT_EQ(outcome.what, c.what) << c.name;
    EXPECT_FALSE(outcome.held) << c.name;
    EXPECT_EQ(outcome.left, L"") << c.name;
    EXPECT_EQ(ReadFileBytes(target), c.target_after) << c.name;
    if (c.old_content && outcome.ok()) {
      EXPECT_EQ(file_id() == old_id, c.in_place) << c.name;
    }
    EXPECT_EQ(FolderNames(folder).size(), c.old_content || outcome.ok() ? 1u : 0u) << c.name;
    if (c.new_files) {
      EXPECT_EQ(seen.new_files, c.new_files) << c.name;
    }
  }
}

// A news file that is a symbolic link: Windows shows it as a reparse point,
// and the linked file is written through it. Wine shows a Unix link as a
// plain file: the rename replaces the link, and the linked file keeps its
// content. Either way nothing is deleted.
TEST(Win32FileSystemTest, SavingOverALinkDeletesNothing) {
  const std::wstring folder = FreshFolder(L"link");
  WriteFileBytes(folder + L"\\linked.txt", "the linked file's text\r\n");
  // Made by the system's own ln, in the folder, as another program would.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION ln{};
  std::wstring command = L"/bin/ln -s linked.txt news.txt";
  ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &ln));
  CloseHandle(ln.hThread);
  CloseHandle(ln.hProcess);
  ASSERT_TRUE(WaitFor([&] { return FileExists(folder + L"\\news.txt"); }, 30000));
  ASSERT_EQ(ReadFileBytes(folder + L"\\news.txt"), "the linked file's text\r\n");
  ASSERT_TRUE(Replace(folder + L"\\news.txt", "new news\r\n").ok());
  EXPECT_EQ(ReadFileBytes(folder + L"\\news.txt"), "new news\r\n");
  const std::string linked = ReadFileBytes(folder + L"\\linked.txt");
  EXPECT_TRUE(linked == "the linked file's text\r\n" || linked == "new news\r\n") << linked;
  EXPECT_EQ(FolderNames(folder), (std::vector<std::wstring>{L"linked.txt", L"news.txt"}));
  Seen(std::string("saving over a link: the link's name holds the new text; the linked file ") +
       (linked == "new news\r\n" ? "holds it too (written through)" : "keeps its own (the link replaced)"));
  // Wine's DeleteFileW would remove the linked file, not the link.
  command = L"/bin/rm -f news.txt linked.txt";
  if (CreateProcessW(L"Z:\\bin\\rm", command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &ln)) {
    CloseHandle(ln.hThread);
    CloseHandle(ln.hProcess);
  }
}

TEST(Win32FileSystemTest, InPlaceWriteGrowsTheFileWithTheNewTail) {
  const std::wstring folder = FreshFolder(L"in-place");
  const std::wstring target = folder + L"\\news.txt";
  const struct {
    const char* name;
    bool commit;
    const char* after;
    Written what;
  } cases[] = {
      {"abandoned before the commit: the tail is taken back", false, "old news\r\n", Written::kNotChanged},
      {"committed", true, "NEW NEWS, LONGER\r\n", Written::kSavedInPlace},
  };
  // (What the file holds on the way, the old text and then the new tail, the
  // sweep sees from outside.)
  for (const auto& c : cases) {
    WriteFileBytes(target, "old news\r\n");
    g_faults.no_new_files = true;
    Win32FileSystem fs(FaultyApi());
    std::unique_ptr<ReplacementFile> file;
    ASSERT_TRUE(fs.OpenReplacement(target, 18, file).ok());
    g_faults = SystemFaults{};
    ASSERT_TRUE(file->Write("NEW NEWS, LONGER\r\n", 18).ok());
    const WriteOutcome outcome = c.commit ? file->Commit() : file->Abandon(Status(ERROR_DISK_FULL));
    EXPECT_EQ(outcome.what, c.what) << c.name;
    file.reset();
    EXPECT_EQ(ReadFileBytes(target), c.after) << c.name;
  }
}

TEST(Win32FileSystemTest, PathsFrom260CharactersOnTakeTheUnlimitedForm) {
  const std::wstring folder = L"C:\\tests\\";
  const std::wstring share = L"\\\\server\\share\\";
  const struct {
    std::wstring path;
    std::wstring expected;
  } cases[] = {
      {folder + std::wstring(250, L'n'), folder + std::wstring(250, L'n')},  // 259 characters
      {folder + std::wstring(251, L'n'), L"\\\\?\\" + folder + std::wstring(251, L'n')},  // 260
      {L"\\\\?\\" + folder + std::wstring(300, L'n'), L"\\\\?\\" + folder + std::wstring(300, L'n')},
      {share + std::wstring(245, L'n'), L"\\\\?\\UNC\\server\\share\\" + std::wstring(245, L'n')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnlimitedForm(Win32FileApi(), c.path), c.expected) << c.path.size() << " characters";
  }
}

TEST(Win32FileSystemTest, NewsFileRoundTripOnDisk) {
  Win32FileSystem fs;
  FileSlots slots(fs);
  const std::wstring path = FreshFolder(L"\u0432\u0435\u0441\u0442\u0438") + L"\\\u0434\u0430.txt";
  ASSERT_TRUE(WriteNewsText(slots, path, "A\r\nB").ok());
  EXPECT_EQ(ReadFileBytes(path), "A\r\nB\r\n");
  std::string text;
  ASSERT_TRUE(ReadNewsText(slots, path, text).ok());
  EXPECT_EQ(text, "A\r\nB\r\n");
  EXPECT_EQ(ReadNewsText(slots, path + L".missing", text).code(),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(ReadNewsText(slots, FreshFolder(L"dir"), text).ok()) << "a folder is no file";
  EXPECT_FALSE(slots.InUse(kNewsSlot));
}

// The ANSI code page of the locale the test runs in: 1252 under an English or
// C locale, 1251 where ctest runs this once more under a Cyrillic one
// (LANG=ru_RU.UTF-8, TOLVEX_LOCALE_ACP=1251). News is written in it.
UINT LocaleCodePage() {
  const char* acp = std::getenv("TOLVEX_LOCALE_ACP");
  return acp ? static_cast<UINT>(std::strtoul(acp, nullptr, 10)) : 1252;
}

TEST(SystemCodePageTest, IsTheLocalesOwn) {
  const UINT acp = LocaleCodePage();
  ASSERT_EQ(GetACP(), acp) << "the locale took";
  const CodePage& page = SystemCodePage();
  EXPECT_EQ(page.number(), acp);
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t wide = 0;
    ASSERT_EQ(MultiByteToWideChar(acp, 0, &byte, 1, &wide, 1), 1);
    EXPECT_EQ(static_cast<wchar_t>(page.ToUnicode(static_cast<unsigned char>(b))), wide) << b;
  }
}

TEST(SystemCodePageTest, NewsKeepsItsBytesThroughLoadAndSave) {
  // A word, then the bytes C0 to FF: the letters from U+00C0 in 1252, from U+0410 in 1251.
  const struct {
    UINT acp;
    std::string word;
    std::wstring shown;
    wchar_t c0;
  } pages[] = {
      {1252, "Caf\xE9 ", L"Caf\u00E9 ", 0x00C0},
      {1251, "\xCF\xF0\xE8\xE2\xE5\xF2 ", L"\u041F\u0440\u0438\u0432\u0435\u0442 ", 0x0410},
  };
  const auto page = std::find_if(std::begin(pages), std::end(pages),
                                 [](const auto& p) { return p.acp == LocaleCodePage(); });
  ASSERT_NE(page, std::end(pages));
  std::string bytes = page->word;
  std::wstring shown = page->shown;
  for (unsigned b = 0xC0; b <= 0xFF; ++b) {
    bytes += static_cast<char>(b);
    shown += static_cast<wchar_t>(page->c0 + (b - 0xC0));
  }
  bytes += "\r\n";
  shown += L"\r\n";
  const std::wstring folder = FreshFolder(L"code-page");
  WriteFileBytes(folder + L"\\news.txt", bytes);
  Win32FileSystem fs;
  LocalEditor editor(fs);
  ASSERT_TRUE(LoadNewsFile(editor.commands(), folder + L"\\news.txt"));
  EXPECT_EQ(editor.Text(), shown);
  ASSERT_TRUE(SaveNewsFile(editor.commands(), folder + L"\\saved.txt"));
  EXPECT_EQ(ReadFileBytes(folder + L"\\saved.txt"), bytes + "\r\n");
}

TEST(CommonDialogTest, FilterBecomesPairs) {
  using namespace std::string_literals;
  EXPECT_EQ(FilterPairs(L"*.txt (Textfiles)|*.txt"), L"*.txt (Textfiles)\0*.txt\0\0"s);
  EXPECT_EQ(FilterPairs(L"A|*.a|B|*.b"), L"A\0*.a\0B\0*.b\0\0"s);
}

}  // namespace
}  // namespace tolvex
