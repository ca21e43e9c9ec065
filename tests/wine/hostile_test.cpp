// Hostile files and surroundings, against the real program: a huge file and
// files beyond what the editor holds, files that are not news text, files
// that vanish or lock after they were chosen, a folder, a foreign or an
// overlong name given as the file, a full disk, and the window closed around
// a large load; and, in this process, faults and lack of memory injected below
// the file layer. No case may crash or hang the program,
// lose the editor's text or a file's earlier content. docs/reliability.md
// lists what each case showed.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/editor_style.h"
#include "app/form1_layout.h"
#include "driver.h"
#include "news/news_commands.h"
#include "platform/error_message.h"
#include "platform/system_code_page.h"
#include "platform/win32_file_system.h"

namespace tolvex {
namespace {

using namespace driver;

constexpr wchar_t kErrorText[] = L"Error while opening file";

constexpr int kLookIn = 0x471;  // the file dialog's folder combo
constexpr DWORD kLargeLoadMs = 300000;
constexpr DWORD kDialogMs = 120000;  // for a dialog to come or go on a busy machine

// About `bytes` bytes of news: numbered lines of 20 to 120 characters, CR LF.
std::string NewsText(std::size_t bytes) {
  static const char kWords[] = "the ferry leaves the harbour at nine and the market opens at ten ";
  std::string text;
  text.reserve(bytes + 128);
  for (unsigned line = 0; text.size() < bytes; ++line) {
    const std::size_t length = 20 + (line * 37) % 101;
    std::string s = std::to_string(line) + " ";
    while (s.size() < length) s += kWords[s.size() % (sizeof kWords - 1)];
    text.append(s).append("\r\n");
  }
  return text;
}


std::string Utf16(const std::wstring& text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (wchar_t c : text) {
    const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// Temporary files a save may have left beside its target.
std::vector<std::wstring> LeftoverTemporaries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\~*.tmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

std::string Kept(bool same) { return same ? "kept" : "CHANGED"; }

// What the user reads in the editor or a box, shortened to its last paragraph.
std::string Shown(const std::wstring& text) {
  const std::size_t paragraph = text.rfind(L"\n\n");
  std::string s;
  for (char c : Narrow(paragraph == std::wstring::npos ? text : text.substr(paragraph + 2))) {
    s += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  if (s.size() > 60) s = s.substr(0, 57) + "...";
  return "\"" + s + "\"";
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = FreshFolder(L"hostile"); }

  static void Load(const Target& app, const std::wstring& name) {
    ASSERT_TRUE(ChooseThroughDialog(app, kIdOpen, name));
    ASSERT_TRUE(app.Sync(kLargeLoadMs));
  }

  // Saves through the dialog; returns the box shown afterwards, if any.
  static HWND Save(const Target& app, const std::wstring& name) {
    EXPECT_TRUE(ChooseThroughDialog(app, kIdSave, name));
    app.Sync(kLargeLoadMs);
    return app.WaitForDialog(nullptr, 300);
  }

  // Saves through the dialog, expects an error box naming `name` and `reason`,
  // closes it and returns its text.
  static std::wstring SaveFails(const Target& app, const std::wstring& name, DWORD reason) {
    HWND box = Save(app, name);
    EXPECT_TRUE(box) << "an error is shown for " << Narrow(name);
    if (!box) return L"";
    const std::wstring message = MessageBoxText(box);
    EXPECT_NE(message.find(name), std::wstring::npos) << Narrow(message);
    EXPECT_NE(message.find(SystemErrorText(reason)), std::wstring::npos) << Narrow(message);
    ClickButton(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    app.Sync();
    return message;
  }

  std::wstring folder;
};

TEST_F(HostileTest, FiftyMegabyteFileLoadsWholeAndSavesBackByteForByte) {
  const std::string content = NewsText(50u << 20);
  const std::wstring path = folder + L"\\big.txt";
  WriteFileBytes(path, content);
  Target app(folder);
  Load(app, path);
  const std::size_t shown = TextLength(app.control(kIdText));
  EXPECT_EQ(shown, content.size());
  const std::wstring copy = folder + L"\\copy.txt";
  EXPECT_EQ(Save(app, copy), nullptr);
  const bool copied = ReadFileBytes(copy) == content + "\r\n";
  const bool kept = ReadFileBytes(path) == content;
  EXPECT_TRUE(copied) << "the copy has every byte and one line end";
  EXPECT_TRUE(kept) << "the file itself is untouched";
  EXPECT_EQ(app.WaitForExit(0), static_cast<DWORD>(STILL_ACTIVE));
  Seen("50 MB file of " + std::to_string(content.size()) + " bytes: the editor shows " +
       std::to_string(shown) + " characters; saved as a copy, " +
       (copied ? "every byte and one CR LF" : "DIFFERENT") + "; the file " + Kept(kept));
}

// Files larger than the text box of a 32-bit program can take: it reports
// success for a text it cannot hold and keeps its old one, and such a file
// takes the memory of the program's own copies too. The file must not seem
// loaded, and the program must live on.
TEST_F(HostileTest, FilesBeyondWhatTheEditorHoldsFailVisibly) {
  if (sizeof(void*) == 8) {
    GTEST_SKIP() << "needs the 32-bit program: a 64-bit one has the room to load these files whole "
                    "(300 MB took about 300 s under Wine), as the 50 MB case shows for a size that stays quick";
  }
  const struct {
    const char* name;
    unsigned megabytes;
  } cases[] = {
      {"300 MB news file", 300},
      {"460 MB news file", 460},
  };
  const std::string block = NewsText(1u << 20);  // whole lines
  const std::wstring path = folder + L"\\huge.txt";
  for (const auto& c : cases) {
    {
      UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      ASSERT_TRUE(file) << c.name;
      for (unsigned i = 0; i < c.megabytes; ++i) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
                    written == block.size()) << c.name;
      }
    }
    const std::size_t size = static_cast<std::size_t>(c.megabytes) * block.size();
    Target app(folder);
    app.SetText(kIdText, L"old text, which must not pass for the file's");
    const DWORD start = GetTickCount();
    Load(app, path);
    const DWORD took = GetTickCount() - start;
    const std::wstring shown = app.Text(kIdText);
    const bool alive = app.WaitForExit(0) == STILL_ACTIVE;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    std::string start_of_file(block.size(), '\0');
    {
      UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      DWORD got = 0;
      if (!file || !ReadFile(file.get(), start_of_file.data(), static_cast<DWORD>(block.size()), &got, nullptr)) got = 0;
      start_of_file.resize(got);
    }
    const bool kept = data.nFileSizeLow == size && data.nFileSizeHigh == 0 && start_of_file == block;
    EXPECT_TRUE(SameText(shown, L"Error while opening file")) << c.name;
    EXPECT_TRUE(alive) << c.name;
    EXPECT_TRUE(kept) << c.name;
    // The program goes on working.
    const std::wstring small = folder + L"\\small.txt";
    WriteFileBytes(small, "small news\r\n");
    Load(app, small);
    EXPECT_EQ(app.Text(kIdText), L"small news\r\n") << c.name;
    app.SetText(kIdText, L"saved after it");
    EXPECT_EQ(Save(app, small), nullptr) << c.name;
    EXPECT_EQ(ReadFileBytes(small), "saved after it\r\n") << c.name;
    DeleteFileW(path.c_str());
    Seen(std::string(c.name) + " (" + std::to_string(size) + " bytes) loaded over old text: the editor shows " +
         Shown(shown) + " after " + std::to_string((took + 500) / 1000) + " s; the program " +
         (alive ? "lives" : "ENDED") + "; the file " + Kept(kept) + "; loading and saving a small file afterwards " +
         (ReadFileBytes(small) == "saved after it\r\n" ? "works" : "FAILS"));
  }
}

TEST_F(HostileTest, FilesThatAreNotNewsTextAreRefusedAndKept) {
  const struct {
    const char* name;
    std::string bytes;
    std::wstring shown;
  } cases[] = {
      {"the program itself", ReadFileBytes(TargetPath()), std::wstring(kErrorText)},
      {"UTF-16 with byte-order mark", Utf16(L"News of the day\r\n", false), std::wstring(kErrorText)},
      {"UTF-16 big-endian with byte-order mark", Utf16(L"News\r\n", true), std::wstring(kErrorText)},
      // No NUL byte: shown as the code page's characters, so a save keeps every byte.
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBFNews\r\n", L"\u00EF\u00BB\u00BFNews\r\n"},
  };
  ASSERT_GT(cases[0].bytes.size(), 4096u) << Narrow(TargetPath());
  Target app(folder);
  for (const auto& c : cases) {
    const std::wstring path = folder + L"\\not-news.txt";
    WriteFileBytes(path, c.bytes);
    app.SetText(kIdText, L"old");
    Load(app, path);
    const std::wstring shown = app.Text(kIdText);
    const bool kept = ReadFileBytes(path) == c.bytes;
    EXPECT_TRUE(SameText(shown, c.shown)) << c.name;
    EXPECT_TRUE(kept) << c.name;
    Seen(std::string(c.name) + ": the editor shows " + Shown(shown) + "; the file " + Kept(kept));
  }
}

TEST_F(HostileTest, FileGoneOrLockedAfterItWasChosen) {
  const std::wstring path = folder + L"\\chosen.txt";
  const struct {
    const char* name;
    std::function<UniqueFile()> spoil;  // after the name is chosen, before OK; returns a lock
  } cases[] = {
      {"deleted", [&] { DeleteFileW(path.c_str()); return UniqueFile(); }},
      {"locked by another program",
       [&] { return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); }},
  };
  Target app(folder);
  for (const auto& c : cases) {
    WriteFileBytes(path, "chosen news\r\n");
    app.SetText(kIdText, L"old");
    app.Click(kIdOpen);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog) << c.name;
    SendMessageW(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    UniqueFile lock = c.spoil();
    ClickButton(dialog, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << c.name;
    app.Sync();
    const std::wstring shown = app.Text(kIdText);
    EXPECT_EQ(shown, kErrorText) << c.name;
    lock.reset();
    WriteFileBytes(path, "chosen news\r\n");
    Load(app, path);  // nothing of the failed load is held open
    EXPECT_EQ(app.Text(kIdText), L"chosen news\r\n") << c.name;
    Seen(std::string("file ") + c.name + " after it was chosen: the editor shows " + Shown(shown) +
         "; loading it again afterwards " +
         (app.Text(kIdText) == L"chosen news\r\n" ? "works" : "FAILS"));
  }
}

TEST_F(HostileTest, AFolderGivenAsTheFileIsOpenedAsAFolder) {
  const std::wstring sub = folder + L"\\looks like a file.txt";
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  Target app(folder);
  app.SetText(kIdText, L"work in progress");
  for (int button : {kIdOpen, kIdSave}) {
    app.Click(button);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog) << button;
    ChooseFile(dialog, sub);
    EXPECT_TRUE(WaitFor([&] { return WindowText(GetDlgItem(dialog, kLookIn)) == L"looks like a file.txt"; }))
        << button << ": the dialog shows the folder instead";
    const std::wstring look_in = WindowText(GetDlgItem(dialog, kLookIn));
    EXPECT_TRUE(IsWindowVisible(dialog)) << button;
    CancelDialog(dialog);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << button;
    app.Sync();
    EXPECT_EQ(app.Text(kIdText), L"work in progress") << button;
    EXPECT_TRUE(IsFolder(sub)) << button;
    Seen(std::string("folder typed into the ") + (button == kIdOpen ? "Open" : "Save") +
         " dialog: the dialog opens the folder " + Shown(look_in) + " and stays open; after Cancel the editor text is " +
         Kept(app.Text(kIdText) == L"work in progress"));
  }
}

// Names at and beyond what the file dialog takes: the folder, a backslash and
// the name (the ".txt" the dialog adds included) in 259 characters. Wine's
// dialog overruns a buffer past that; the program must answer with a message
// and keep the dialog open, and must save and load every name that fits.
// Names Windows keeps for devices, which Wine's Save dialog takes for files
// that are there, are answered the same way.
TEST_F(HostileTest, LongAndDeviceNamesInTheFileDialogs) {
  const std::wstring deep = folder + L"\\" + std::wstring(60, L'd') + L"\\" + std::wstring(60, L'e');
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\" + std::wstring(60, L'd')).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  const std::wstring devices = folder + L"\\devices";
  ASSERT_TRUE(CreateDirectoryW(devices.c_str(), nullptr));
  static constexpr wchar_t kTooLong[] = L"too long";
  static constexpr wchar_t kDevice[] = L"belongs to a device of Windows";
  const std::wstring root = L"C:";  // its names are "C:\\...", and it is "C:\\" as a working folder
  // Names that fill the path to `length` characters in `in`: with ".txt", without an
  // extension, and with a dot the shell takes for no extension (a blank after it).
  auto filling = [](const std::wstring& in, std::size_t length) {
    return std::wstring(length - in.size() - 1 - 4, L'n') + L".txt";
  };
  auto bare = [](const std::wstring& in, std::size_t length) {
    return std::wstring(length - in.size() - 1, L'n');
  };
  auto spaced = [](const std::wstring& in, std::size_t length) {
    return std::wstring(length - in.size() - 1 - 11, L'n') + L" v1.2 final";
  };
  const struct {
    const char* name;
    int button;
    std::wstring in;     // the dialog's folder: the program's working folder
    std::wstring typed;  // typed into the name field
    bool enter;          // OK by the Enter key instead of the button
    bool fits;
    const wchar_t* added;  // what the dialog adds to the typed name
    const wchar_t* says = kTooLong;  // the message, where the name does not fit
  } cases[] = {
      {"250-character name in a deep folder, Save", kIdSave, deep, std::wstring(250, L'x') + L".txt", false, false, L""},
      {"250-character name in a deep folder, Open", kIdOpen, deep, std::wstring(250, L'x') + L".txt", false, false, L""},
      // "name" in quotes is how a name with blanks is typed; the quotes are not counted.
      {"a quoted 250-character name in a deep folder, Save", kIdSave, deep, L"\"" + std::wstring(250, L'q') + L".txt\"", false, false, L""},
      {"a quoted 250-character name in a deep folder, Open", kIdOpen, deep, L"\"" + std::wstring(250, L'q') + L".txt\"", false, false, L""},
      {"250-character name without extension, Save by Enter", kIdSave, deep, std::wstring(250, L'x'), true, false, L".txt"},
      {"300-character name in a deep folder, Open", kIdOpen, deep, std::wstring(296, L'x') + L".txt", false, false, L""},
      {"whole path of 300 characters typed, Open by Enter", kIdOpen, deep, deep + L"\\" + filling(deep, 300), true, false, L""},
      {"a name starting with '/' is joined to the folder: 300 characters, Save by Enter", kIdSave, deep, L"/" + filling(deep, 299), true, false, L""},
      {"a name starting with '/', 300 characters, Open", kIdOpen, deep, L"/" + filling(deep, 299), false, false, L""},
      {"one character more than fits, Save", kIdSave, deep, filling(deep, 260), false, false, L""},
      {"no extension, 260 characters with the added .txt, Save", kIdSave, deep, bare(deep, 256), false, false, L".txt"},
      {"'v1.2 final' has no extension to the shell: 260 characters with the added .txt, Save", kIdSave, deep, spaced(deep, 256), false, false, L".txt"},
      {"the longest name the deep folder takes, Save", kIdSave, deep, filling(deep, 259), false, true, L""},
      {"the longest name the deep folder takes, Open", kIdOpen, deep, filling(deep, 259), false, true, L""},
      {"no extension, 259 characters with the added .txt, Save", kIdSave, deep, bare(deep, 255), false, true, L".txt"},
      {"no extension, 259 characters with the added .txt, Open", kIdOpen, deep, bare(deep, 255), false, true, L".txt"},
      {"'v1.2 final', 259 characters with the added .txt, Save by Enter", kIdSave, deep, spaced(deep, 255), true, true, L".txt"},
      {"a 255-character name in C:\\, the longest a name can be, Save", kIdSave, root, filling(root, 258), false, true, L""},
      {"a 255-character name in C:\\, Open", kIdOpen, root, filling(root, 258), false, true, L""},
      {"device name NUL, Save", kIdSave, devices, L"NUL", false, false, L"", kDevice},
      {"device name com1.txt, Save by Enter", kIdSave, devices, L"com1.txt", true, false, L"", kDevice},
      {"device name 'CON .txt', Save", kIdSave, devices, L"CON .txt", false, false, L"", kDevice},
      {"device name LPT\u00B3 (a superscript three), Save", kIdSave, devices, L"LPT\u00B3", false, false, L"", kDevice},
      {"device name nul, Open", kIdOpen, devices, L"nul", false, false, L"", kDevice},
  };
  for (const auto& c : cases) {
    Target app(c.in == root ? root + L"\\" : c.in);
    const bool quoted = c.typed.front() == L'"';
    const std::wstring name = quoted ? c.typed.substr(1, c.typed.size() - 2) : c.typed;
    const bool absolute = name.size() > 1 && name[1] == L':';
    const std::wstring path = (absolute ? name : c.in + L"\\" + name) + c.added;
    app.SetText(kIdText, L"work in progress");
    if (c.fits && c.button == kIdOpen) WriteFileBytes(path, "long named news\r\n");
    const std::vector<std::wstring> before = FolderNames(c.in);
    app.Click(c.button);
    HWND dialog = app.WaitForDialog(nullptr, kDialogMs);
    ASSERT_TRUE(dialog) << c.name;
    SendMessageW(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed.c_str()));
    if (c.enter) {
      PostMessageW(FileNameEdit(dialog), WM_KEYDOWN, VK_RETURN, 0x001C0001);
      PostMessageW(FileNameEdit(dialog), WM_KEYUP, VK_RETURN, 0xC01C0001);
    } else {
      ClickButton(dialog, IDOK);
    }
    std::wstring shown;
    bool stayed = false;
    if (c.fits) {
      EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, kDialogMs)) << c.name;
    } else {
      HWND box = app.WaitForDialog(dialog, kDialogMs);
      EXPECT_TRUE(box) << c.name << ": a message";
      if (box) {
        shown = MessageBoxText(box);
        EXPECT_EQ(WindowText(box), c.button == kIdSave ? L"Save text file" : L"Open text file") << c.name;
        EXPECT_NE(shown.find(c.says), std::wstring::npos) << c.name << ": " << Narrow(shown);
        if (c.says == kTooLong) {
          EXPECT_NE(shown.find(L"would have " + std::to_wstring(path.size()) + L"."), std::wstring::npos)
              << c.name << ": the whole path is counted: " << Narrow(shown);
        } else {
          EXPECT_EQ(shown.find(c.typed + L"\n\n"), 0u) << c.name << ": names the name: " << Narrow(shown);
        }
        ClickButton(box, IDOK);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, kDialogMs)) << c.name;
      }
      stayed = IsWindowVisible(dialog);
      EXPECT_TRUE(stayed) << c.name << ": the dialog stays open";
      CancelDialog(dialog);
      EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, kDialogMs)) << c.name;
    }
    app.Sync();
    const DWORD alive = app.WaitForExit(0);
    ASSERT_EQ(alive, static_cast<DWORD>(STILL_ACTIVE)) << c.name << ": the program lives";
    const std::wstring text = app.Text(kIdText);
    // Never read a device's name: CON would wait for the console.
    const std::string file = c.fits ? ReadFileBytes(path) : "";
    std::string outcome;
    if (!c.fits) {
      EXPECT_EQ(text, L"work in progress") << c.name;
      EXPECT_EQ(FolderNames(c.in), before) << c.name << ": nothing written";
      outcome = "the dialog says " + Shown(c.says == kTooLong ? shown.substr(0, shown.find(L"\n")) : shown) +
                (stayed ? " and stays open" : " and CLOSES") + "; after Cancel the editor text is " +
                Kept(text == L"work in progress") +
                (FolderNames(c.in) == before ? ", nothing written" : ", A FILE WAS WRITTEN");
    } else if (c.button == kIdSave) {
      EXPECT_EQ(file, "work in progress\r\n") << c.name;
      outcome = file == "work in progress\r\n" ? "saved, every byte" : "NOT SAVED";
    } else {
      EXPECT_EQ(text, L"long named news\r\n") << c.name;
      outcome = text == L"long named news\r\n" ? "loaded" : "NOT LOADED: " + Shown(text);
    }
    EXPECT_TRUE(LeftoverTemporaries(c.in).empty()) << c.name;
    if (c.fits && c.button == kIdOpen) DeleteFileW(path.c_str());
    Seen(std::string(c.name) +
         (c.says == kTooLong ? " (path of " + std::to_string(path.size()) + " characters): " : ": ") + outcome);
  }
}

TEST_F(HostileTest, NamesOutsideTheCodePage) {
  const std::wstring names[] = {
      L"\u65B0\u805E.txt",                   // CJK
      L"\U0001F4F0 news.txt",                // outside the BMP: a surrogate pair
      L"\u0623\u062E\u0628\u0627\u0631.txt",  // Arabic
  };
  Target app(folder);
  for (const std::wstring& name : names) {
    const std::wstring path = folder + L"\\" + name;
    app.SetText(kIdText, L"news under a foreign name");
    EXPECT_EQ(Save(app, path), nullptr) << Narrow(name);
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(path.c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << Narrow(name);
    FindClose(find);
    EXPECT_EQ(std::wstring(found.cFileName), name) << "the name is kept exactly";
    EXPECT_EQ(ReadFileBytes(path), "news under a foreign name\r\n") << Narrow(name);

    app.SetText(kIdText, L"other");
    Load(app, path);
    EXPECT_EQ(app.Text(kIdText), L"news under a foreign name\r\n") << Narrow(name);

    UniqueFile lock(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    app.SetText(kIdText, L"new text");
    const std::wstring message = SaveFails(app, path, ERROR_SHARING_VIOLATION);
    lock.reset();
    EXPECT_NE(message.find(L"Another program is using the file. Close it, and Save again."), std::wstring::npos)
        << Narrow(message);
    const bool kept = ReadFileBytes(path) == "news under a foreign name\r\n";
    EXPECT_TRUE(kept) << Narrow(name);
    EXPECT_EQ(app.Text(kIdText), L"new text") << Narrow(name);
    Seen("name " + Narrow(name) + ": saved under exactly that name and loaded back; saved while " +
         "locked (for good): the box names the file and says another program uses it, and " +
         Shown(message) + "; the file " + Kept(kept));
  }
}

// The small filesystem the test runner mounted for this run (tests/wine/small_disk.sh),
// as a Windows path; empty when there is none.
std::wstring SmallDisk() {
  wchar_t unix_path[MAX_PATH] = L"";
  if (!GetEnvironmentVariableW(L"TOLVEX_SMALL_DISK", unix_path, MAX_PATH)) return L"";
  std::wstring path = std::wstring(L"Z:") + unix_path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Fills the disk with one file until a write fails, then gives back `room` bytes.
void FillDisk(const std::wstring& filler, std::size_t room) {
  UniqueFile file(CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  const std::string block(4096, 'f');
  DWORD written = 0;
  LONG size = 0;
  while (WriteFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
         written == block.size()) {
    size += static_cast<LONG>(written);
  }
  if (room == 0) return;
  SetFilePointer(file.get(), size - static_cast<LONG>(std::min<std::size_t>(room, size)), nullptr, FILE_BEGIN);
  ASSERT_TRUE(SetEndOfFile(file.get()));
}

TEST_F(HostileTest, FullDiskKeepsTheOldFileAndTheText) {
  const std::wstring disk = SmallDisk();
  if (disk.empty() || !IsFolder(disk)) {
    GTEST_SKIP() << "no small filesystem: mounting a tmpfs is not allowed here (see "
                    "tests/wine/small_disk.sh); DiskFaultBelowTheFileLayer covers the case";
  }
  const std::wstring path = disk + L"\\news.txt";
  const std::wstring filler = disk + L"\\filler.bin";
  const std::wstring text = Widen(NewsText(300000));
  const struct {
    const char* name;
    std::size_t room;
  } cases[] = {
      {"no room at all", 0},
      {"room for a part of the text", 100000},
  };
  Target app(folder);
  for (const auto& c : cases) {
    WriteFileBytes(path, "old news\r\n");
    FillDisk(filler, c.room);
    app.SetText(kIdText, text);
    const std::wstring message = SaveFails(app, path, ERROR_DISK_FULL);
    const bool kept = ReadFileBytes(path) == "old news\r\n";
    const bool text_kept = app.Text(kIdText) == text;
    const std::size_t leftovers = LeftoverTemporaries(disk).size();
    EXPECT_TRUE(kept) << c.name;
    EXPECT_TRUE(text_kept) << c.name << ": the text is still in the editor";
    EXPECT_EQ(leftovers, 0u) << c.name;
    DeleteFileW(filler.c_str());
    Seen(std::string("1 MiB tmpfs, ") + c.name + ": the box says " + Shown(message) +
         "; the old file " + Kept(kept) + "; the editor text " + Kept(text_kept) + "; " +
         std::to_string(leftovers) + " temporary files left");
  }
  // With room again, the same save goes through: it was the disk.
  EXPECT_EQ(Save(app, path), nullptr);
  EXPECT_EQ(ReadFileBytes(path).size(), text.size() + 2);
  DeleteFileW(path.c_str());
}

// Real files, with a disk that fills up, a replace step that fails, or memory
// that runs out, at a chosen point below the file layer. Notes the cursor
// shown while the files are read and written.
class FailingDisk final : public FileSystem {
 public:
  std::size_t room = SIZE_MAX;  // bytes that fit before the disk is full
  bool out_of_memory = false;   // reads and writes throw std::bad_alloc
  HCURSOR cursor = nullptr;     // at the last read or write

  Status OpenInput(const Path& name, std::unique_ptr<InputFile>& file) override {
    std::unique_ptr<InputFile> real;
    const Status status = real_.OpenInput(name, real);
    if (status.ok()) file = std::make_unique<Input>(*this, std::move(real));
    return status;
  }
  WriteOutcome OpenReplacement(const Path& name, std::uint64_t size,
                               std::unique_ptr<ReplacementFile>& file) override {
    std::unique_ptr<ReplacementFile> real;
    WriteOutcome opened = real_.OpenReplacement(name, size, real);
    if (opened.ok()) file = std::make_unique<Replacement>(*this, std::move(real));
    return opened;
  }

 private:
  class Input final : public InputFile {
   public:
    Input(FailingDisk& disk, std::unique_ptr<InputFile> real) : disk_(disk), real_(std::move(real)) {}
    Status Read(char* buffer, std::size_t capacity, std::size_t& got) override {
      disk_.cursor = GetCursor();
      if (disk_.out_of_memory) throw std::bad_alloc();
      return real_->Read(buffer, capacity, got);
    }

   private:
    FailingDisk& disk_;
    std::unique_ptr<InputFile> real_;
  };

  class Replacement final : public ReplacementFile {
   public:
    Replacement(FailingDisk& disk, std::unique_ptr<ReplacementFile> real)
        : disk_(disk), real_(std::move(real)) {}
    Status Write(const char* data, std::size_t size) override {
      disk_.cursor = GetCursor();
      const std::size_t fits = std::min(size, disk_.room - written_);
      Status status = real_->Write(data, fits);
      written_ += fits;
      if (disk_.out_of_memory) throw std::bad_alloc();
      if (status.ok() && fits < size) status = Status(ERROR_DISK_FULL);
      return status;
    }
    WriteOutcome Commit() override {
      return real_->Commit();
    }
    WriteOutcome Abandon(Status failed) override { return real_->Abandon(failed); }

   private:
    FailingDisk& disk_;
    std::unique_ptr<ReplacementFile> real_;
    std::size_t written_ = 0;
  };

  Win32FileSystem real_{FaultyApi()};
};

TEST_F(HostileTest, DiskFaultBelowTheFileLayerKeepsTheOldFileAndTheText) {
  const std::wstring text = Widen(NewsText(300000));
  constexpr const char* kOld = "old news\r\n";
  std::wstring small_disk = SmallDisk();
  if (!IsFolder(small_disk)) small_disk.clear();
  const struct {
    const char* name;
    bool exists;  // the file is there before the save
    std::size_t room;
    SystemFaults faults;
    bool out_of_memory;
    DWORD shown;
    const wchar_t* says;  // what the box says became of the file
    const char* after;    // the file afterwards; nullptr: a part of the new text may be in it
    std::size_t small_disk_room = SIZE_MAX;  // else on the small disk, filled up to this room
  } cases[] = {
      {"disk full at the first write", true, 0, {}, false, ERROR_DISK_FULL,
       L"The file was not changed", kOld},
      {"disk full part way", true, 100000, {}, false, ERROR_DISK_FULL, L"The file was not changed", kOld},
      {"the rename into the file's place fails", true, SIZE_MAX, {ERROR_WRITE_PROTECT}, false,
       ERROR_WRITE_PROTECT, L"The file was not changed", kOld},
      {"disk full, saving under a new name", false, 0, {}, false, ERROR_DISK_FULL,
       L"No file was written", "<missing>"},
      {"memory runs out while writing", true, SIZE_MAX, {}, true, ERROR_NOT_ENOUGH_MEMORY,
       L"The file was not changed", kOld},
      {"no new file may be made in the folder, and the disk fills part way (while the new text's tail "
       "goes past the old end)", true, 100000,
       {0, true}, false, ERROR_DISK_FULL, L"The file was not changed", kOld},
      {"no new file may be made in the folder, on a real disk with room for a third of the text", true,
       SIZE_MAX, {0, true}, false, ERROR_DISK_FULL, L"The file was not changed", kOld,
       100000},
  };
  FailingDisk disk;
  LocalEditor editor(disk);
  for (const auto& c : cases) {
    const bool on_small_disk = c.small_disk_room != SIZE_MAX;
    if (on_small_disk && small_disk.empty()) {
      Seen(std::string("fault below the file layer, ") + c.name + ": SKIPPED, no small filesystem here");
      continue;
    }
    const std::wstring in = on_small_disk ? small_disk : folder;
    const std::wstring path = in + L"\\news.txt";
    const std::wstring filler = in + L"\\filler.bin";
    DeleteFileW(path.c_str());
    if (c.exists) WriteFileBytes(path, kOld);
    if (on_small_disk) FillDisk(filler, c.small_disk_room);
    disk.room = c.room;
    disk.out_of_memory = c.out_of_memory;
    disk.cursor = nullptr;
    g_faults = c.faults;
    editor.SetText(text);
    bool saved = true;
    const std::wstring message =
        editor.AnsweringBoxes(IDOK, [&] { saved = SaveNewsFile(editor.commands(), path); });
    g_faults = SystemFaults{};
    DeleteFileW(filler.c_str());
    const std::string after = ReadFileBytes(path);
    const bool text_kept = editor.Text() == text;
    const std::vector<std::wstring> leftovers = LeftoverTemporaries(in);
    EXPECT_FALSE(saved) << c.name;
    EXPECT_NE(message.find(path), std::wstring::npos) << c.name << ": " << Narrow(message);
    EXPECT_NE(message.find(SystemErrorText(c.shown)), std::wstring::npos) << c.name << ": " << Narrow(message);
    EXPECT_NE(message.find(c.says), std::wstring::npos) << c.name << ": " << Narrow(message);
    if (c.after) {
      EXPECT_EQ(after, c.after) << c.name;
    }
    EXPECT_TRUE(text_kept) << c.name;
    EXPECT_EQ(leftovers.size(), 0u) << c.name;
    EXPECT_EQ(disk.cursor, LoadCursorW(nullptr, IDC_WAIT)) << c.name << ": the wait cursor shows while writing";
    const std::wstring said = message.substr(0, message.rfind(L"\n\n"));
    Seen(std::string("fault below the file layer, ") + c.name + ": the box says " +
         Shown(said.substr(said.find(L"\n\n") + 2)) + " and " + Shown(message) + "; the file " +
         (after == kOld ? "kept" : after == "<missing>" ? "missing" : "CHANGED") + "; the editor text " +
         Kept(text_kept) + "; " + std::to_string(leftovers.size()) + " temporary files left");
    DeleteFileW(path.c_str());
  }
}

// Load, where memory runs out or the text is more than the editor can hold:
// the editor shows the error text, and the next load works.
TEST_F(HostileTest, LoadFaultsBelowTheFileLayerShowTheErrorText) {
  const std::wstring path = folder + L"\\news.txt";
  const std::string content = NewsText(100000);
  WriteFileBytes(path, content);
  // Earlier news of the file's length, in short lines (a long paragraph is slow to wrap).
  std::wstring as_long;
  while (as_long.size() + 10 <= content.size()) as_long += L"old news\r\n";
  as_long.resize(content.size(), L'o');
  const struct {
    const char* name;
    bool out_of_memory;
    std::size_t editor_holds;  // characters the editor takes; more are dropped, reporting success
    std::wstring old;          // the editor's text before
  } cases[] = {
      {"memory runs out while reading", true, SIZE_MAX, L"old text"},
      {"the text is more than the editor holds", false, 50000, L"old text"},
      {"the text is more than the editor holds, which holds a text as long", false, 50000,
       as_long},
      {"the file just fits", false, 100500, L"old text"},
  };
  FailingDisk disk;
  LocalEditor editor(disk);
  for (const auto& c : cases) {
    disk.out_of_memory = c.out_of_memory;
    disk.cursor = nullptr;
    editor.SetText(c.old);
    editor.SetCapacity(c.editor_holds);
    const bool loaded = LoadNewsFile(editor.commands(), path);
    const std::wstring shown = editor.Text();
    const bool fits = !c.out_of_memory && content.size() <= c.editor_holds;
    EXPECT_EQ(loaded, fits) << c.name;
    EXPECT_TRUE(SameText(shown, fits ? Widen(content) : L"Error while opening file")) << c.name;
    EXPECT_TRUE(SameText(ReadFileBytes(path), content)) << c.name;
    EXPECT_EQ(disk.cursor, LoadCursorW(nullptr, IDC_WAIT)) << c.name << ": the wait cursor shows while reading";
    const bool undone = editor.Undo() == c.old;
    EXPECT_TRUE(undone) << c.name << ": Undo brings back the earlier text";
    EXPECT_EQ(editor.Undo(), shown) << c.name << ": and Undo again what Load showed";
    disk.out_of_memory = false;
    editor.SetCapacity(SIZE_MAX);
    const bool again = LoadNewsFile(editor.commands(), path);
    EXPECT_TRUE(again) << c.name << ": nothing of the failed load is held";
    Seen(std::string("Load code, ") + c.name + ": the editor shows " + Shown(shown) +
         "; Undo " + (undone ? "brings back the earlier text" : "DOES NOT bring back the earlier text") +
         "; the file " + Kept(ReadFileBytes(path) == content) + "; loading again afterwards " +
         (again ? "works" : "FAILS"));
  }
}

TEST_F(HostileTest, FolderOrDeviceGivenAsTheFileBehindTheDialog) {
  // The dialog opens a folder instead of returning it, and may return a name
  // Windows keeps for a device; the commands refuse both, and make nothing.
  const std::wstring in = FreshFolder(L"refused-names");
  const struct {
    const char* name;
    std::wstring path;
    const wchar_t* says;  // besides the name
  } cases[] = {
      {"folder", folder, L""},
      {"device name NUL.txt", in + L"\\NUL.txt", L"belongs to a device of Windows"},
      {"device name com1", in + L"\\com1", L"belongs to a device of Windows"},
      {"device name CONIN$", in + L"\\CONIN$", L"belongs to a device of Windows"},
      {"device name COM\u00B2.txt (a superscript two)", in + L"\\COM\u00B2.txt", L"belongs to a device of Windows"},
  };
  Win32FileSystem fs;
  LocalEditor editor(fs);
  for (const auto& c : cases) {
    editor.SetText(L"work in progress");
    EXPECT_FALSE(LoadNewsFile(editor.commands(), c.path)) << c.name;
    const std::wstring shown = editor.Text();
    EXPECT_EQ(shown, kErrorText) << c.name;
    editor.SetText(L"work in progress");
    bool saved = true;
    const std::wstring message =
        editor.AnsweringBoxes(IDOK, [&] { saved = SaveNewsFile(editor.commands(), c.path); });
    EXPECT_FALSE(saved) << c.name;
    EXPECT_NE(message.find(c.path), std::wstring::npos) << c.name << ": " << Narrow(message);
    EXPECT_NE(message.find(c.says), std::wstring::npos) << c.name << ": " << Narrow(message);
    if (*c.says) {
      EXPECT_NE(message.find(L"\n\nNo file was written, and the text is still in the editor."),
                std::wstring::npos) << c.name << ": " << Narrow(message);
    }
    EXPECT_TRUE(FolderNames(in).empty()) << c.name << ": nothing made";
    EXPECT_EQ(editor.Text(), L"work in progress") << c.name;
    Seen(std::string(c.name) + " passed to the Load code itself: the editor shows " + Shown(shown) +
         "; to the Save code: the box says " + Shown(message) + "; files made: " +
         std::to_string(FolderNames(in).size()));
  }
  EXPECT_TRUE(IsFolder(folder));
}

TEST_F(HostileTest, ClosingAroundALargeLoadEndsCleanly) {
  const std::string content = NewsText(10u << 20);
  const std::wstring path = folder + L"\\large.txt";
  WriteFileBytes(path, content);
  const struct {
    const char* name;
    bool wait_for_text;
    std::function<void(const Target&)> close;
  } cases[] = {
      {"Close clicked during the load", false, [](const Target& app) { app.Click(kIdClose); }},
      {"window closed during the load", false,
       [](const Target& app) { PostMessageW(app.form(), WM_CLOSE, 0, 0); }},
      {"window closed with the text shown", true,
       [](const Target& app) { PostMessageW(app.form(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto& c : cases) {
    Target app(folder);
    ASSERT_TRUE(ChooseThroughDialog(app, kIdOpen, path)) << c.name;
    if (c.wait_for_text) {
      ASSERT_TRUE(WaitForTextLength(app.control(kIdText), content.size(), kLargeLoadMs)) << c.name;
    }
    c.close(app);
    const DWORD exit_code = app.WaitForExit(kLargeLoadMs);
    const bool kept = ReadFileBytes(path) == content;
    EXPECT_EQ(exit_code, 0u) << c.name << ": ends, and ends well";
    EXPECT_TRUE(kept) << c.name;
    Seen(std::string("10 MB load, ") + c.name + ": the program ended with exit code " +
         std::to_string(exit_code) + "; the file " + Kept(kept));
  }
}

// Sets an environment variable for the programs started while it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[256] = L"";
    had_ = GetEnvironmentVariableW(name, old, 256) > 0;
    old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const wchar_t* name_;
  std::wstring old_;
  bool had_ = false;
};

// The window is destroyed while the click handler that shows the dialog is
// still running on it; with Wine's heap checking, which fills freed memory,
// any use of freed state aborts.
TEST_F(HostileTest, ClosingWhileADialogIsUpEndsCleanly) {
  // As Task Manager's "End task" does: WM_CLOSE to the main window, which a
  // modal dialog has disabled but not shut off.
  const ScopedEnvironment heap_checks(L"WINEDEBUG", L"warn+heap");
  const std::wstring path = folder + L"\\news.txt";
  const struct {
    const char* name;
    int button;
    std::wstring text;
    bool choose;  // answer the file dialog, and close at the box that follows
  } cases[] = {
      {"Open dialog", kIdOpen, L"news", false},
      {"Save dialog", kIdSave, L"news", false},
      {"question before a lossy save", kIdSave, L"\u041f\u0440\u0438\u0432\u0435\u0442", true},
  };
  for (const auto& c : cases) {
    Target app(folder);
    app.SetText(kIdText, c.text);
    app.Click(c.button);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog) << c.name;
    if (c.choose) {
      ChooseFile(dialog, path);
      ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << c.name;
      ASSERT_TRUE(app.WaitForDialog()) << c.name;
    }
    PostMessageW(app.form(), WM_CLOSE, 0, 0);
    const DWORD exit_code = app.WaitForExit(10000);
    EXPECT_EQ(exit_code, 0u) << c.name << ": ends, and ends well";
    EXPECT_FALSE(FileExists(path)) << c.name;
    Seen(std::string("window closed while the ") + c.name + " is up (heap checks on): exit code " +
         std::to_string(exit_code) + "; " + (FileExists(path) ? "a file WAS written" : "nothing written"));
  }
}

}  // namespace
}  // namespace tolvex
