// The sweep: every file call that Save and Load make, on real files in a real
// folder, failed in turn, and the program cut off right after it in turn.
//
// The commands run over the Win32 file layer with a seam that counts every
// file call. For each scenario (Save under a new name, over a file with a
// longer and with a shorter text, in a folder that refuses new files, Load)
// and each call n of it:
// - failed: call n fails with the error a real disk gives there, in this
//   process; afterwards the target holds its whole old content or the whole
//   new text (a new name: nothing or the whole new text), or, written in
//   place, what the in-place write promises, and then only if the message
//   says the file may hold a part; every other file in the folder is named
//   by the message and holds the whole new text (or, named as the old file,
//   the whole old content); the message says what happened; the editor's
//   text is unchanged; the next Save and Load work.
// - cut off: the command runs in a child process (this program again, with
//   an argument naming the scenario and n) whose seam ends it with
//   TerminateProcess right after call n, so no destructor or cleanup runs;
//   from outside, the target holds its whole old or whole new content (in
//   place: what that write promises), with at most one temporary file
//   (~tv*.tmp) beside it.
// The [ SEEN ] lines are the table in docs/reliability.md.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "driver.h"
#include "news/news_commands.h"
#include "news/news_text_file.h"
#include "platform/win32_file_system.h"

namespace tolvex {
namespace {

using namespace driver;

// --- The seam -------------------------------------------------------------

struct Sweep {
  enum Mode { kCount, kFail, kCut } mode = kCount;
  unsigned at = 0;            // the call to fail, or to cut off after (1: the first)
  DWORD error = 0;            // the error it fails with
  bool no_new_files = false;  // the folder refuses new files (CREATE_NEW: access denied)
  std::vector<std::string> made;  // the calls made so far
  bool real_waits = false;    // waits for a hold take their time
};
Sweep g_sweep;

constexpr UINT kCutOff = 0xC07;  // the exit code of a child the seam ended

// Counts a call; true when it is the one to fail, with its error set.
bool Failing(const char* call) {
  g_sweep.made.push_back(call);
  if (g_sweep.mode != Sweep::kFail || g_sweep.made.size() != g_sweep.at) return false;
  SetLastError(g_sweep.error);
  return true;
}

// Hands a call's result back, or ends the process right after the call.
template <typename T>
T Done(T result) {
  if (g_sweep.mode == Sweep::kCut && g_sweep.made.size() == g_sweep.at) {
    TerminateProcess(GetCurrentProcess(), kCutOff);
  }
  return result;
}

// A file call through the seam: counted; failed, returning `kFailed` with the
// error set, when it is the one; else made, and the process ended right after
// it when it is the one.
template <typename Call>
struct Swept;
template <typename R, typename... A>
struct Swept<R(WINAPI*)(A...)> {
  template <const char* kName, auto kReal, R kFailed>
  static R WINAPI Call(A... args) {
    if (Failing(kName)) return kFailed;
    return Done(kReal(args...));
  }
};

constexpr char kRead[] = "ReadFile", kWrite[] = "WriteFile", kFlush[] = "FlushFileBuffers",
               kSeek[] = "SetFilePointerEx", kSetEnd[] = "SetEndOfFile", kSize[] = "GetFileSizeEx",
               kAttributes[] = "GetFileAttributesW", kMove[] = "MoveFileExW",
               kDelete[] = "DeleteFileW", kFullPath[] = "GetFullPathNameW";

// The folder may refuse new files.
HANDLE WINAPI SweptCreate(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
  if (Failing("CreateFileW")) return INVALID_HANDLE_VALUE;
  if (g_sweep.no_new_files && disposition == CREATE_NEW) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Done(INVALID_HANDLE_VALUE);
  }
  return Done(CreateFileW(name, access, share, security, disposition, flags, model));
}
// Fails as the system documents it for a replace with a backup name: 1175 and
// 1176 leave both files under their names, 1177 leaves the old one under the
// backup name.
BOOL WINAPI SweptReplace(LPCWSTR target, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                         LPVOID exclude, LPVOID reserved) {
  if (Failing("ReplaceFileW")) {
    return FailReplace(g_sweep.error,
                       g_sweep.error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ? SystemFaults::kRenamed
                                                                           : SystemFaults::kKept,
                       target, backup);
  }
  return Done(ReplaceFileW(target, replacement, backup, flags, exclude, reserved));
}
// A failed close has given the handle up all the same.
BOOL WINAPI SweptClose(HANDLE handle) {
  const bool failing = Failing("CloseHandle");
  const BOOL closed = CloseHandle(handle);
  if (!failing) return Done(closed);
  SetLastError(g_sweep.error);
  return FALSE;
}

// Waits for another program's hold take no time, but where a real one holds a file.
void WINAPI SweptSleep(DWORD ms) {
  if (g_sweep.real_waits) Sleep(ms);
}

Win32FileApi SweptApi() {
  Win32FileApi api;
  api.create_file = SweptCreate;
  api.read_file = Swept<decltype(api.read_file)>::Call<kRead, ReadFile, FALSE>;
  api.write_file = Swept<decltype(api.write_file)>::Call<kWrite, WriteFile, FALSE>;
  api.flush_file = Swept<decltype(api.flush_file)>::Call<kFlush, FlushFileBuffers, FALSE>;
  api.set_file_pointer = Swept<decltype(api.set_file_pointer)>::Call<kSeek, SetFilePointerEx, FALSE>;
  api.set_end_of_file = Swept<decltype(api.set_end_of_file)>::Call<kSetEnd, SetEndOfFile, FALSE>;
  api.get_file_size = Swept<decltype(api.get_file_size)>::Call<kSize, GetFileSizeEx, FALSE>;
  api.get_attributes = Swept<decltype(api.get_attributes)>::Call<kAttributes, GetFileAttributesW,
                                                                 INVALID_FILE_ATTRIBUTES>;
  api.replace_file = SweptReplace;
  api.move_file = Swept<decltype(api.move_file)>::Call<kMove, MoveFileExW, FALSE>;
  api.delete_file = Swept<decltype(api.delete_file)>::Call<kDelete, DeleteFileW, FALSE>;
  api.close_handle = SweptClose;
  api.get_full_path = Swept<decltype(api.get_full_path)>::Call<kFullPath, GetFullPathNameW, 0>;
  api.sleep = SweptSleep;
  return api;
}

// The errors a real disk gives at each call.
std::vector<DWORD> ErrorsAt(const std::string& call) {
  static const std::map<std::string, std::vector<DWORD>> kErrors = {
      {"CreateFileW", {5, 32}},          // access denied, sharing violation
      {"GetFileAttributesW", {5}},
      {"DeleteFileW", {5, 32}},
      {"MoveFileExW", {5, 32}},
      {"ReplaceFileW", {1175, 1176, 1177}},
      {"ReadFile", {1117}},              // device error
      {"GetFileSizeEx", {1117}},
      {"SetFilePointerEx", {1117}},
      {"CloseHandle", {1117}},
      {"WriteFile", {112}},              // disk full
      {"FlushFileBuffers", {112}},
      {"SetEndOfFile", {112}},
      {"GetFullPathNameW", {206}},       // name too long
  };
  return kErrors.at(call);
}

// --- Scenarios -----------------------------------------------------------

// About `bytes` bytes of numbered lines starting with `word`, each ended by CR LF.
std::string Lines(const std::string& word, std::size_t bytes) {
  std::string text;
  for (unsigned line = 0; text.size() < bytes; ++line) {
    text += word + " " + std::to_string(line) + " of the day: the ferry leaves at nine\r\n";
  }
  return text;
}

constexpr const char* kNoFile = "<missing>";  // as ReadFileBytes gives it

struct Scenario {
  const char* name;
  std::string old;    // the target before (kNoFile: none)
  std::string text;   // Save: the editor's text; its file is the text and CR LF. Load: none
  bool no_new_files;  // the folder refuses new files: Save writes in place
  bool load() const { return text.empty(); }
  bool in_place() const { return no_new_files; }
  std::string fresh() const { return text + "\r\n"; }
};

const std::vector<Scenario>& Scenarios() {
  // Texts over 64 KB, so that they take more than one read or write.
  static const std::vector<Scenario> scenarios = {
      {"(a) Save under a new name", kNoFile, Lines("news", 100000), false},
      {"(b) Save over a file, longer text", "old news\r\n", Lines("news", 100000), false},
      {"(c) Save over a file, shorter text", Lines("old", 100000), "short news", false},
      {"(d) Save where the folder refuses new files, longer text", "old news\r\n",
       Lines("news", 100000), true},
      {"(d) Save where the folder refuses new files, shorter text", Lines("old", 100000),
       "short news", true},
      {"(e) Load", Lines("news", 100000), "", false},
  };
  return scenarios;
}

std::wstring TargetIn(const std::wstring& folder) { return folder + L"\\news.txt"; }

// The folder holding only the scenario's target, as it was before.
void Arrange(const Scenario& s, const std::wstring& folder) {
  for (const std::wstring& name : FolderNames(folder)) DeleteFileW((folder + L"\\" + name).c_str());
  if (s.old != kNoFile) WriteFileBytes(TargetIn(folder), s.old);
}

// Runs the scenario's command; returns the text of the box it showed ("" for
// none), and sets `what` to what Save's write did.
std::wstring RunCommand(const Scenario& s, LocalEditor& editor, const std::wstring& folder,
                        Written* what = nullptr) {
  if (s.load()) {
    editor.SetText(L"before");
    LoadNewsFile(editor.commands(), TargetIn(folder));
    return L"";
  }
  editor.SetText(Widen(s.text));
  return editor.AnsweringBoxes(IDOK, [&] { SaveNewsFile(editor.commands(), TargetIn(folder), what); });
}

// --- Invariants ----------------------------------------------------------

// Whether `file` is what a write in place promises at any moment: for some
// k, the first k bytes of the new content, then from byte k on what the file
// held before, then the new content's own bytes from the old length on, at a
// length from the old to the larger of old and new, or the new length.
bool InPlaceShape(const std::string& file, const std::string& old, const std::string& fresh) {
  const std::size_t size = file.size();
  if (size != fresh.size() && (size < old.size() || size > std::max(old.size(), fresh.size()))) {
    return false;
  }
  std::string before = old;
  if (fresh.size() > old.size()) before += fresh.substr(old.size());
  before.resize(size);
  std::size_t k = 0;  // bytes of the new content at the start
  while (k < size && k < fresh.size() && file[k] == fresh[k]) ++k;
  std::size_t from = size;  // bytes of the old content (and the new tail) from here to the end
  while (from > 0 && file[from - 1] == before[from - 1]) --from;
  return from <= k;
}

// What the target holds: "old", "new", "none", "part" (in place), or "OTHER".
std::string TargetState(const Scenario& s, const std::string& file) {
  if (file == kNoFile) return s.old == kNoFile ? "none" : "GONE";
  if (file == s.old) return "old";
  if (!s.load() && file == s.fresh()) return "new";
  if (s.in_place() && InPlaceShape(file, s.old, s.fresh())) return "part";
  return "OTHER";
}

// What the write did, in the table's words.
std::string Said(Written what, const std::string& state) {
  switch (what) {
    case Written::kSaved: return "saved";
    case Written::kSavedOldKept: return "saved, old content kept";
    case Written::kNotChanged: return state == "none" ? "no file" : "not changed";
    case Written::kSavedElsewhere: return "saved elsewhere";
    case Written::kBothKept: return "both kept";
    case Written::kMayHoldPart: return "may hold part";
  }
  return "UNKNOWN";
}

// The files beside the target: each must be named in `message` and hold what
// it is named as: the whole new text where the news was saved to it, a start
// of the new text where it could not be removed, or else the old content.
// Returns what is wrong.
std::string CheckOthers(const Scenario& s, const std::wstring& folder, const std::wstring& message) {
  std::string wrong;
  for (const std::wstring& name : FolderNames(folder)) {
    const std::wstring path = folder + L"\\" + name;
    if (path == TargetIn(folder)) continue;
    const std::string content = ReadFileBytes(path);
    const bool whole = message.find(L"It was saved to\n" + path) != std::wstring::npos;
    const bool start = message.find(L"could not be removed:\n" + path) != std::wstring::npos;
    if (message.find(path) == std::wstring::npos) {
      wrong += " " + Narrow(name) + " left unnamed;";
    } else if (whole ? content != s.fresh()
                     : start ? s.fresh().compare(0, content.size(), content) != 0 : content != s.old) {
      wrong += " " + Narrow(name) + " holds neither text as named;";
    }
  }
  return wrong;
}

// Checks a run of the scenario in which one call failed: returns the outcome
// and adds what is wrong to `wrong`.
std::string CheckFailedRun(const Scenario& s, LocalEditor& editor, const std::wstring& folder,
                           const std::wstring& message, Written what, std::string& wrong) {
  const std::string state = TargetState(s, ReadFileBytes(TargetIn(folder)));
  std::string outcome;
  if (s.load()) {
    const std::wstring shown = editor.Text();
    outcome = shown == Widen(s.old) ? "loaded" : shown == L"Error while opening file" ? "error text" : "";
    if (outcome.empty()) wrong += " the editor shows neither the file nor the error text;";
    if (state != "old") wrong += " the file is " + state + ";";
  } else {
    outcome = Said(what, state);
    if (what == Written::kSaved ? !message.empty() : message.empty()) {
      wrong += " the box " + std::string(message.empty() ? "is missing" : "is shown") + ";";
    }
    const std::map<std::string, std::vector<std::string>> kMayBe = {
        {"saved", {"new"}},
        {"saved, old content kept", {"new"}},
        {"not changed", {"old"}},
        {"no file", {"none"}},
        {"may hold part", {"old", "part", "new"}},
        {"saved elsewhere", {"old", "GONE", "none"}},
        {"both kept", {"GONE", "OTHER"}},
    };
    const auto may_be = kMayBe.find(outcome);
    if (may_be == kMayBe.end() ||
        std::find(may_be->second.begin(), may_be->second.end(), state) == may_be->second.end()) {
      wrong += " the box says \"" + outcome + "\" and the target is " + state + ";";
    }
    if (editor.Text() != Widen(s.text)) wrong += " the editor's text changed;";
  }
  wrong += CheckOthers(s, folder, message);
  if (editor.commands().slots.InUse(kNewsSlot)) wrong += " the file slot is held;";
  return outcome;
}

// The next Save and Load work: the run left nothing held.
void CheckNextSaveAndLoad(LocalEditor& editor, const std::wstring& folder, std::string& wrong) {
  g_sweep.mode = Sweep::kCount;
  editor.SetText(L"after");
  const std::wstring message =
      editor.AnsweringBoxes(IDOK, [&] { SaveNewsFile(editor.commands(), TargetIn(folder)); });
  editor.SetText(L"");
  LoadNewsFile(editor.commands(), TargetIn(folder));
  if (!message.empty() || editor.Text() != L"after\r\n") wrong += " the next Save and Load fail;";
}

// Checks, from outside, what a run cut off after a call left: returns the
// target's state, adds what is wrong to `wrong`, and counts the temporary files.
std::string CheckCutRun(const Scenario& s, const std::wstring& folder, std::size_t& temporaries,
                        std::string& wrong) {
  const std::string state = TargetState(s, ReadFileBytes(TargetIn(folder)));
  const bool whole = state == "old" || state == "new" || state == "none";
  if (!whole && !(s.in_place() && state == "part")) wrong += " the target is " + state + ";";
  temporaries = 0;
  for (const std::wstring& name : FolderNames(folder)) {
    if (folder + L"\\" + name == TargetIn(folder)) continue;
    if (name.compare(0, 3, L"~tv") == 0 && name.size() > 4 && name.substr(name.size() - 4) == L".tmp") {
      ++temporaries;
    } else {
      wrong += " " + Narrow(name) + " left;";
    }
  }
  if (temporaries > 1 || (temporaries > 0 && !whole)) {
    wrong += " " + std::to_string(temporaries) + " temporary files beside a target that is " + state + ";";
  }
  return state;
}

// --- The sweep -----------------------------------------------------------

std::string Tally(const std::map<std::string, unsigned>& counts) {
  std::string s;
  for (const auto& [what, n] : counts) s += (s.empty() ? "" : ", ") + what + " " + std::to_string(n);
  return s;
}

std::string Joined(const std::vector<std::string>& calls) {
  std::string s;
  for (const std::string& call : calls) s += (s.empty() ? "" : " ") + call;
  return s;
}

class SweepTest : public ::testing::Test {
 protected:
  // The calls the scenario makes when nothing fails, and a check that it then works.
  static std::vector<std::string> CountCalls(const Scenario& s, const std::wstring& folder) {
    Arrange(s, folder);
    Win32FileSystem fs(SweptApi());
    LocalEditor editor(fs);
    g_sweep = Sweep{Sweep::kCount, 0, 0, s.no_new_files, {}};
    const std::wstring message = RunCommand(s, editor, folder);
    std::vector<std::string> calls = std::move(g_sweep.made);
    g_sweep = Sweep{};
    EXPECT_EQ(message, L"") << s.name;
    EXPECT_TRUE(SameText(ReadFileBytes(TargetIn(folder)), s.load() ? s.old : s.fresh())) << s.name;
    if (s.load()) {
      EXPECT_TRUE(SameText(editor.Text(), Widen(s.old))) << s.name;
    }
    return calls;
  }
};

TEST_F(SweepTest, EveryFileCallFailedInTurn) {
  for (const Scenario& s : Scenarios()) {
    const std::wstring folder = FreshFolder(L"sweep");
    const std::vector<std::string> calls = CountCalls(s, folder);
    ASSERT_FALSE(calls.empty()) << s.name;
    unsigned runs = 0, held = 0;
    std::map<std::string, unsigned> outcomes;
    Win32FileSystem fs(SweptApi());
    LocalEditor editor(fs);
    for (unsigned n = 1; n <= calls.size(); ++n) {
      for (DWORD error : ErrorsAt(calls[n - 1])) {
        Arrange(s, folder);
        g_sweep = Sweep{Sweep::kFail, n, error, s.no_new_files, {}};
        Written what = Written::kSaved;
        const std::wstring message = RunCommand(s, editor, folder, &what);
        std::string wrong;
        ++outcomes[CheckFailedRun(s, editor, folder, message, what, wrong)];
        CheckNextSaveAndLoad(editor, folder, wrong);
        g_sweep = Sweep{};
        ++runs;
        held += wrong.empty();
        EXPECT_EQ(wrong, "") << s.name << ", call " << n << " (" << calls[n - 1] << ") failing with "
                             << error << "; the box: " << Narrow(message);
      }
    }
    Seen("sweep, each call failed in turn, " + std::string(s.name) + ": " + std::to_string(calls.size()) +
         " calls (" + Joined(calls) + "), " + std::to_string(runs) + " runs, invariants held in " +
         std::to_string(held) + "; outcomes: " + Tally(outcomes));
  }
}

TEST_F(SweepTest, CutOffAfterEveryFileCall) {
  wchar_t self[MAX_PATH] = L"";
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  for (std::size_t i = 0; i < Scenarios().size(); ++i) {
    const Scenario& s = Scenarios()[i];
    const std::wstring folder = FreshFolder(L"sweep-cut");
    const std::vector<std::string> calls = CountCalls(s, folder);
    unsigned runs = 0, held = 0;
    std::map<std::string, unsigned> states, temporaries;
    for (unsigned n = 1; n <= calls.size(); ++n) {
      Arrange(s, folder);
      const Launched child = LaunchInJob(
          self, L"sweep-child|" + std::to_wstring(i) + L"|" + std::to_wstring(n) + L"|" + folder, folder);
      ASSERT_TRUE(child.process) << s.name;
      WaitForSingleObject(child.process.get(), 120000);
      DWORD exit_code = STILL_ACTIVE;
      GetExitCodeProcess(child.process.get(), &exit_code);
      std::string wrong;
      if (exit_code != kCutOff) wrong += " the child ended with " + std::to_string(exit_code) + ", not cut off;";
      std::size_t left = 0;
      ++states[CheckCutRun(s, folder, left, wrong)];
      ++temporaries[std::to_string(left)];
      ++runs;
      held += wrong.empty();
      EXPECT_EQ(wrong, "") << s.name << ", cut off after call " << n << " (" << calls[n - 1] << ")";
    }
    Seen("sweep, cut off after each call in turn, " + std::string(s.name) + ": " +
         std::to_string(calls.size()) + " calls, " + std::to_string(runs) + " runs, invariants held in " +
         std::to_string(held) + "; the target afterwards: " + Tally(states) +
         "; temporary files left (count: runs): " + Tally(temporaries));
  }
}

// The child of CutOffAfterEveryFileCall: "sweep-child|scenario|n|folder".
int RunChild(const wchar_t* argument) {
  unsigned index = 0, n = 0;
  wchar_t folder[MAX_PATH] = L"";
  if (std::swscanf(argument, L"sweep-child|%u|%u|%259l[^\n]", &index, &n, folder) != 3 ||
      index >= Scenarios().size()) {
    return 2;
  }
  const Scenario& s = Scenarios()[index];
  Win32FileSystem fs(SweptApi());
  LocalEditor editor(fs);
  g_sweep = Sweep{Sweep::kCut, n, 0, s.no_new_files, {}};
  RunCommand(s, editor, folder);
  return 0;  // not cut off: the command made fewer calls
}

}  // namespace
}  // namespace tolvex

// Runs the tests, or, started by CutOffAfterEveryFileCall, one cut-off command.
int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcsncmp(argv[1], L"sweep-child|", 12) == 0) return tolvex::RunChild(argv[1]);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) tolvex::driver::SetTargetPath(argv[1]);
  return RUN_ALL_TESTS();
}
