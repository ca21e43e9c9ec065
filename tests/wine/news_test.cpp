// Load and Save end to end: the real program, its real file dialogs, files on disk.
#include <gtest/gtest.h>

#include "app/form1_layout.h"
#include "driver.h"

namespace tolvex {
namespace {

using namespace driver;

constexpr wchar_t kTitle[] = L"Quorvane Bulletrix 1.1.1";
constexpr wchar_t kLoadError[] = L"Error while opening file";
constexpr int kLookIn = 0x471;      // the dialog's folder combo
constexpr int kReadOnlyBox = 0x410;  // the Open dialog's read-only check box

bool Gone(HWND hwnd) {
  return WaitFor([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); });
}

std::wstring LastPart(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// Ctrl+Z, as the editor gets it: real keys (the editor given the focus, as
// the click on Load left it on the button) or the character 0x1A posted to
// it. Waits until the editor shows `expected`.
bool UndoShows(const Target& app, bool real_keys, const std::wstring& expected) {
  HWND editor = app.control(kIdText);
  if (real_keys) {
    app.Activate();
    PostMessageW(app.form(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(editor), TRUE);
    if (!WaitFor([&] { return app.Focus() == editor; }, 30000)) return false;
    PressKey('Z', /*shift=*/false, /*ctrl=*/true);
  } else {
    PostMessageW(editor, WM_CHAR, 0x1A, 1);
  }
  return WaitFor([&] { return app.Text(kIdText) == expected; }, 30000);
}

class NewsTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = FreshFolder(L"news"); }

  // Clicks Load and answers the Open dialog with `name`; "" cancels.
  void Load(Target& app, const std::wstring& name) {
    app.Click(kIdOpen);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog);
    name.empty() ? CancelDialog(dialog) : ChooseFile(dialog, name);
    ASSERT_TRUE(Gone(dialog));
    ASSERT_TRUE(app.Sync());
  }

  // Clicks Save and answers the Save dialog with `name`; "" cancels. With
  // `replace`, answers Yes to the question whether to replace the file.
  // Returns the message box the program shows afterwards, if any.
  HWND Save(Target& app, const std::wstring& name, bool replace = false) {
    app.Click(kIdSave);
    HWND dialog = app.WaitForDialog();
    EXPECT_TRUE(dialog);
    if (!dialog) return nullptr;
    name.empty() ? CancelDialog(dialog) : ChooseFile(dialog, name);
    if (replace) {
      HWND question = app.WaitForDialog(dialog);
      EXPECT_TRUE(question);
      if (question) ClickButton(question, IDYES);
    }
    EXPECT_TRUE(Gone(dialog));
    app.Sync();
    return app.WaitForDialog(nullptr, 300);
  }

  std::wstring folder;
};

// After each Load the caret is at the start with the first line shown, and
// one Ctrl+Z brings back the earlier text, a second one the loaded text.
TEST_F(NewsTest, LoadShowsTheFileLineByLine) {
  std::string many_lines;
  std::wstring many_shown;
  for (int i = 1; i <= 80; ++i) {
    many_lines += "line " + std::to_string(i) + "\r\n";
    many_shown += L"line " + std::to_wstring(i) + L"\r\n";
  }
  const struct {
    const char* name;
    std::string content;
    std::wstring shown;
  } cases[] = {
      {"two lines", "A\r\nB\r\n", L"A\r\nB\r\n"},
      {"last line without line end", "A\r\nB", L"A\r\nB\r\n"},
      {"lines from other tools", "A\nB\rC", L"A\r\nB\r\nC\r\n"},
      {"empty file", "", L""},
      {"umlauts and euro", "Gr\xFC\xDF" "e \x80\r\n", L"Gr\u00FC\u00DFe \u20AC\r\n"},
      {"more lines than the editor shows", many_lines, many_shown},
  };
  Target app(folder);
  HWND editor = app.control(kIdText);
  for (const auto& c : cases) {
    const std::wstring path = folder + L"\\load.txt";
    WriteFileBytes(path, c.content);
    // The earlier text, its first letter deleted with Backspace: an undo step
    // of the editor's own, which Load's must not take in.
    app.SetText(kIdText, L"earlier text never mixes in");
    SendMessageW(editor, EM_SETSEL, 1, 1);
    PostMessageW(editor, WM_CHAR, VK_BACK, 1);
    ASSERT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"arlier text never mixes in"; }, 30000));
    Load(app, path);
    EXPECT_EQ(app.Text(kIdText), c.shown) << c.name;
    DWORD start = 1, end = 1;
    SendMessageW(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u) << c.name << ": the caret is at the start";
    EXPECT_EQ(end, 0u) << c.name;
    EXPECT_EQ(SendMessageW(editor, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << c.name << ": the first line shows";
    EXPECT_TRUE(UndoShows(app, false, L"arlier text never mixes in")) << c.name;
    EXPECT_TRUE(UndoShows(app, false, c.shown)) << c.name;
  }
}

TEST_F(NewsTest, OpenDialogIsSetUpForNewsFiles) {
  const std::wstring sub = FreshFolder(L"start");
  Target app(sub);
  app.Click(kIdOpen);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(WindowText(dialog), L"Open text file");
  EXPECT_EQ(WindowText(GetDlgItem(dialog, kLookIn)), LastPart(sub)) << "starts in the working folder";
  HWND read_only = GetDlgItem(dialog, kReadOnlyBox);
  EXPECT_TRUE(!read_only || !IsWindowVisible(read_only)) << "no read-only check box";
  HWND types = GetDlgItem(dialog, 0x470);
  EXPECT_EQ(WindowText(types), L"*.txt (Textfiles)");
  CancelDialog(dialog);
  ASSERT_TRUE(Gone(dialog));
}

// Loads in a row, failed or not, with no edit between them: one Ctrl+Z
// brings back the text from before the first of them, a second the last
// Load's text. An edit makes the text the author's own; a paste of nothing is
// no edit. Save over the file of a failed Load asks first while the editor
// shows just the error, unchanged since.
TEST_F(NewsTest, UndoAfterLoadsInARowBringsBackTheTextBeforeThem) {
  const std::wstring missing = folder + L"\\missing.txt";
  const std::wstring locked = folder + L"\\locked.txt";
  const std::wstring binary = folder + L"\\binary.txt";
  const std::string binary_bytes("MZ\x90\0\x03\0\0\0", 8);
  const std::wstring good = folder + L"\\good.txt";
  const std::wstring more = folder + L"\\more.txt";
  const std::wstring kCancel = L"";
  const std::wstring kTypeBang = L"<typed: !>";
  const std::wstring kUndo = L"<Ctrl+Z>";
  const std::wstring kPasteNothing = L"<Ctrl+V, an empty text on the clipboard>";
  const std::wstring kShiftInsertNothing = L"<Shift+Insert, an empty text on the clipboard>";
  // Save over the last Load's file, asked or not whether to save the error.
  const std::wstring kSave = L"<Save: not asked>";
  const std::wstring kSaveEnter = L"<Save: asked, Enter>";
  const std::wstring kSaveYes = L"<Save: asked, Yes>";
  const std::wstring after_edit = std::wstring(L"!") + kLoadError;
  const struct {
    const char* name;
    std::vector<std::wstring> steps;  // files loaded, a cancelled Load, keys, Save
    std::wstring shown;  // after the steps
    std::wstring undone;  // after one Ctrl+Z
  } cases[] = {
      {"a missing file", {missing}, kLoadError, L"old"},
      {"a locked file", {locked}, kLoadError, L"old"},
      {"a binary file", {binary}, kLoadError, L"old"},
      {"two failed Loads", {missing, binary}, kLoadError, L"old"},
      {"a failed Load, then a good one", {binary, good}, L"good news\r\n", L"old"},
      {"three good Loads, one of them cancelled", {good, kCancel, more, good}, L"good news\r\n",
       L"old"},
      {"a Load, an edit, a Load", {good, kTypeBang, more}, L"more news\r\n", L"!good news\r\n"},
      {"a Load, an edit, a failed Load", {more, kTypeBang, missing}, kLoadError, L"!more news\r\n"},
      {"a Load, Ctrl+Z, a Load", {good, kUndo, more}, L"more news\r\n", L"old"},
      {"a Load, a paste of nothing by Ctrl+V", {good, kPasteNothing}, L"good news\r\n", L"old"},
      {"a Load, a paste of nothing by Shift+Insert", {good, kShiftInsertNothing}, L"good news\r\n",
       L"old"},
      {"a failed Load, Save: asked, Enter says No", {binary, kSaveEnter}, kLoadError, L"old"},
      {"a failed Load, Save: asked, Yes", {binary, kSaveYes}, kLoadError, L"old"},
      // The text box takes a key typed at the start of a text just put in
      // into that text's step.
      {"a failed Load, a key typed, Save", {binary, kTypeBang, kSave}, after_edit, L"old"},
      {"a failed Load, Ctrl+Z twice, Save", {binary, kUndo, kUndo, kSave}, kLoadError, L"old"},
  };
  Target app(folder);
  HWND editor = app.control(kIdText);
  const auto focus_editor = [&] {
    app.Activate();
    PostMessageW(app.form(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(editor), TRUE);
    return WaitFor([&] { return app.Focus() == editor; }, 30000);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(locked, "locked\r\n");
    WriteFileBytes(binary, binary_bytes);
    WriteFileBytes(good, "good news");
    WriteFileBytes(more, "more news\r\n");
    UniqueFile lock(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    app.SetText(kIdText, L"old");
    std::wstring before = L"old";
    std::wstring loaded;
    for (const std::wstring& step : c.steps) {
      const std::wstring now = app.Text(kIdText);
      if (step == kUndo) {
        ASSERT_TRUE(UndoShows(app, true, before));
        before = now;
      } else if (step == kTypeBang) {
        before = now;
        ASSERT_TRUE(focus_editor());
        TypeText(L"!");
        ASSERT_TRUE(WaitFor([&] { return app.Text(kIdText) == L"!" + before; }, 30000));
      } else if (step == kPasteNothing || step == kShiftInsertNothing) {
        ASSERT_TRUE(SetClipboard(L""));
        ASSERT_TRUE(focus_editor());
        step == kPasteNothing ? PressKey('V', /*shift=*/false, /*ctrl=*/true)
                              : PressKey(VK_INSERT, /*shift=*/true);
        // End after it moves the caret from the start once the keys are taken.
        PressKey(VK_END);
        ASSERT_TRUE(WaitFor([&] { return SendMessageW(editor, EM_GETSEL, 0, 0) != 0; }, 30000));
        ASSERT_EQ(app.Text(kIdText), now);
      } else if (step == kSave || step == kSaveEnter || step == kSaveYes) {
        const std::string old_bytes = ReadFileBytes(loaded);
        HWND box = Save(app, loaded, /*replace=*/true);
        ASSERT_EQ(box != nullptr, step != kSave) << "asked";
        if (box) {
          EXPECT_EQ(MessageBoxText(box),
                    L"The editor shows the error of a failed Load, not news. Save it anyway?");
          EXPECT_EQ(WindowText(box), kTitle);
          if (step == kSaveYes) {
            ClickButton(box, IDYES);
          } else {
            // Enter, as a hurried user answers, says No.
            HWND focused = app.Focus();
            ASSERT_EQ(GetParent(focused), box);
            PostMessageW(focused, WM_KEYDOWN, VK_RETURN, 0x001C0001);
            PostMessageW(focused, WM_KEYUP, VK_RETURN, 0xC01C0001);
          }
          ASSERT_TRUE(Gone(box));
          app.Sync();
        }
        EXPECT_EQ(ReadFileBytes(loaded), step == kSaveEnter ? old_bytes : Narrow(now) + "\r\n");
        EXPECT_EQ(app.Text(kIdText), now);
      } else {
        before = now;
        Load(app, step);
        if (!step.empty()) loaded = step;
      }
    }
    EXPECT_EQ(app.Text(kIdText), c.shown);
    EXPECT_TRUE(UndoShows(app, true, c.undone)) << Narrow(app.Text(kIdText));
    EXPECT_TRUE(UndoShows(app, true, c.shown)) << Narrow(app.Text(kIdText));
  }
  // Nothing stays open after a failure: the next load works.
  Load(app, good);
  EXPECT_EQ(app.Text(kIdText), L"good news\r\n");
}

TEST_F(NewsTest, CancelKeepsTheText) {
  Target app(folder);
  app.SetText(kIdText, L"work in progress");
  Load(app, L"");
  EXPECT_EQ(app.Text(kIdText), L"work in progress");
  EXPECT_EQ(Save(app, L""), nullptr);
  EXPECT_EQ(app.Text(kIdText), L"work in progress");
}

TEST_F(NewsTest, SaveWritesTheTextAndOneLineEnd) {
  const struct {
    const char* name;
    std::wstring text;
    std::wstring typed;  // as typed into the dialog
    std::wstring file;   // as saved
    std::string bytes;
  } cases[] = {
      {"empty editor", L"", L"empty.txt", L"empty.txt", "\r\n"},
      {"two lines", L"A\r\nB", L"two.txt", L"two.txt", "A\r\nB\r\n"},
      {"no extension typed", L"x", L"plain", L"plain.txt", "x\r\n"},
      {"1252 text", L"\u00C4\u20AC\u2019", L"cp.txt", L"cp.txt", "\xC4\x80\x92\r\n"},
  };
  Target app(folder);
  for (const auto& c : cases) {
    app.SetText(kIdText, c.text);
    EXPECT_EQ(Save(app, folder + L"\\" + c.typed), nullptr) << c.name;
    EXPECT_EQ(ReadFileBytes(folder + L"\\" + c.file), c.bytes) << c.name;
    EXPECT_EQ(app.Text(kIdText), c.text) << c.name;
    EXPECT_EQ(app.Focus(), app.control(kIdSave)) << c.name << ": the focus stays where the click put it";
  }
}

TEST_F(NewsTest, SaveAsksBeforeReplacingAFile) {
  const std::wstring path = folder + L"\\news.txt";
  WriteFileBytes(path, "a much longer earlier file\r\nwith two lines\r\n");
  Target app(folder);
  app.SetText(kIdText, L"short");

  // No: the Save dialog stays open; cancelling it then writes nothing.
  app.Click(kIdSave);
  HWND dialog = app.WaitForDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(WindowText(dialog), L"Save text file");
  ChooseFile(dialog, path);
  HWND question = app.WaitForDialog(dialog);
  ASSERT_TRUE(question);
  ClickButton(question, IDNO);
  ASSERT_TRUE(Gone(question));
  EXPECT_TRUE(IsWindowVisible(dialog));
  CancelDialog(dialog);
  ASSERT_TRUE(Gone(dialog));
  app.Sync();
  EXPECT_EQ(ReadFileBytes(path), "a much longer earlier file\r\nwith two lines\r\n");

  // Yes: the whole file is replaced.
  app.Click(kIdSave);
  dialog = app.WaitForDialog();
  ASSERT_TRUE(dialog);
  ChooseFile(dialog, path);
  question = app.WaitForDialog(dialog);
  ASSERT_TRUE(question);
  ClickButton(question, IDYES);
  ASSERT_TRUE(Gone(dialog));
  app.Sync();
  EXPECT_EQ(ReadFileBytes(path), "short\r\n");
}

TEST_F(NewsTest, CancelAfterASaveWritesNothing) {
  const std::wstring path = folder + L"\\news.txt";
  Target app(folder);
  app.SetText(kIdText, L"first");
  EXPECT_EQ(Save(app, path), nullptr);
  app.SetText(kIdText, L"second");
  EXPECT_EQ(Save(app, L""), nullptr);
  EXPECT_EQ(ReadFileBytes(path), "first\r\n");
}

TEST_F(NewsTest, FailedSaveKeepsTheFileAndTheText) {
  const std::wstring path = folder + L"\\news.txt";
  const struct {
    const char* name;
    std::wstring target;
    DWORD attributes;  // given to the existing file
    bool lock;         // the file held open by another program
    std::wstring says;  // what became of the file
  } cases[] = {
      {"read-only file", path, FILE_ATTRIBUTE_READONLY, false, L"The file was not changed"},
      {"locked file", path, FILE_ATTRIBUTE_NORMAL, true, L"The file was not changed"},
      {"missing folder", folder + L"\\nope\\news.txt", FILE_ATTRIBUTE_NORMAL, false, L"No file was written"},
  };
  Target app(folder);
  for (const auto& c : cases) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileBytes(path, "old news\r\n");
    SetFileAttributesW(path.c_str(), c.attributes);
    UniqueFile lock;
    if (c.lock) {
      lock.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    app.SetText(kIdText, L"new news");
    app.Click(kIdSave);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog) << c.name;
    ChooseFile(dialog, c.target);
    if (HWND question = app.WaitForDialog(dialog, 1000)) ClickButton(question, IDYES);
    ASSERT_TRUE(Gone(dialog)) << c.name;
    HWND box = app.WaitForDialog();
    ASSERT_TRUE(box) << c.name << ": an error is shown";
    const std::wstring message = MessageBoxText(box);
    EXPECT_NE(message.find(c.target), std::wstring::npos) << c.name << ": " << Narrow(message);
    EXPECT_NE(message.find(c.says), std::wstring::npos) << c.name << ": " << Narrow(message);
    ClickButton(box, IDOK);
    ASSERT_TRUE(Gone(box));
    app.Sync();
    EXPECT_EQ(app.WaitForExit(0), static_cast<DWORD>(STILL_ACTIVE)) << c.name;
    EXPECT_EQ(app.Text(kIdText), L"new news") << c.name;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(path), "old news\r\n") << c.name;
  }
}

TEST_F(NewsTest, LoadThenSaveAddsOneLineEndAndKeepsEveryByte) {
  std::string all;
  for (int b = 0x20; b <= 0xFF; ++b) {
    all.push_back(static_cast<char>(b));
    if (b % 32 == 31) all += "\r\n";
  }
  const std::wstring russian = FreshFolder(L"\u043d\u043e\u0432\u043e\u0441\u0442\u0438");
  const std::wstring paths[] = {folder + L"\\bytes.txt", russian + L"\\\u0432\u0435\u0441\u0442\u0438.txt"};
  Target app(folder);
  for (const std::wstring& path : paths) {
    WriteFileBytes(path, all);
    Load(app, path);
    EXPECT_EQ(Save(app, path, /*replace=*/true), nullptr);
    EXPECT_EQ(ReadFileBytes(path), all + "\r\n") << Narrow(path);
  }
}

// The next dialog starts in the folder of the file chosen last, however it
// was chosen, and offers its name.
TEST_F(NewsTest, NextDialogStartsInTheFolderOfTheFileChosenLast) {
  const struct {
    const char* name;
    bool full_path;  // typed; else the folder is opened in the dialog, then the name typed
  } cases[] = {
      {"the folder opened in the dialog, then the name typed", false},
      {"the full path typed", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring other = FreshFolder(L"other");
    WriteFileBytes(other + L"\\news.txt", "x");
    Target app(folder);
    app.Click(kIdOpen);
    HWND open = app.WaitForDialog();
    ASSERT_TRUE(open);
    if (c.full_path) {
      ChooseFile(open, other + L"\\news.txt");
    } else {
      ChooseFile(open, other);  // a folder's name opens the folder
      EXPECT_TRUE(WaitFor([&] { return WindowText(GetDlgItem(open, kLookIn)) == LastPart(other); }));
      ChooseFile(open, L"news.txt");
    }
    ASSERT_TRUE(Gone(open));
    app.Sync();
    EXPECT_EQ(app.Text(kIdText), L"x\r\n");
    app.Click(kIdSave);
    HWND dialog = app.WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, kLookIn)), LastPart(other));
    EXPECT_EQ(WindowText(FileNameEdit(dialog)), L"news.txt") << "the last name is offered";
    CancelDialog(dialog);
    ASSERT_TRUE(Gone(dialog));
  }
}

TEST_F(NewsTest, TextOutsideTheCodePageIsSavedOnlyAfterAsking) {
  const struct {
    const char* name;
    std::wstring text;
    std::wstring first;  // the first character that cannot be saved, as the question shows it
    DWORD start, end;    // and as it is selected after No
    std::string saved;   // after Yes
  } cases[] = {
      {"Cyrillic", L"ok\r\n\u041f\u0440\u0438\u0432\u0435\u0442", L"\u041f", 4, 5, "ok\r\n??????\r\n"},
      {"surrogate pair", L"ok\r\n\U0001F4F0 news", L"\U0001F4F0", 4, 6, "ok\r\n? news\r\n"},
      {"lone high surrogate before a letter", L"ok\r\n\xD83Dx", L"\xD83D", 4, 5, "ok\r\n?x\r\n"},
      {"lone high surrogate at the end", L"ok\r\n\xD83D", L"\xD83D", 4, 5, "ok\r\n?\r\n"},
  };
  Target app(folder);
  for (const auto& c : cases) {
    const std::wstring path = folder + L"\\lossy.txt";
    DeleteFileW(path.c_str());
    app.SetText(kIdText, c.text);

    HWND warning = Save(app, path);
    ASSERT_TRUE(warning) << c.name;
    const std::wstring question = MessageBoxText(warning);
    EXPECT_NE(question.find(L"line 2"), std::wstring::npos) << c.name << ": " << Narrow(question);
    EXPECT_NE(question.find(L"\"" + c.first + L"\""), std::wstring::npos) << c.name << ": " << Narrow(question);
    // Enter, as a hurried user answers, says No: no "?" is written.
    HWND focused = app.Focus();
    ASSERT_EQ(GetParent(focused), warning) << c.name;
    PostMessageW(focused, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(focused, WM_KEYUP, VK_RETURN, 0xC01C0001);
    ASSERT_TRUE(Gone(warning)) << c.name;
    app.Sync();
    EXPECT_FALSE(FileExists(path)) << c.name;
    EXPECT_EQ(app.Text(kIdText), c.text) << c.name;
    DWORD start = 0, end = 0;
    SendMessageW(app.control(kIdText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, c.start) << c.name << ": the first such character is selected";
    EXPECT_EQ(end, c.end) << c.name;

    warning = Save(app, path);
    ASSERT_TRUE(warning) << c.name;
    ClickButton(warning, IDYES);
    ASSERT_TRUE(Gone(warning)) << c.name;
    app.Sync();
    EXPECT_EQ(ReadFileBytes(path), c.saved) << c.name;
  }
}

}  // namespace
}  // namespace tolvex
