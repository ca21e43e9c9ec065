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
//   by the message and holds a start of the new text, or all of it; the
//   message says what happened; the editor's text is unchanged; the next
//   Save and Load work.
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
#include <functional>
#include <map>
#include <string>
#include <thread>
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
  bool for_good = false;      // once call `at` failed, every later call of its kind fails alike
  unsigned later = 0;         // a later call to fail as well (0: none)
  DWORD later_error = 0;      // the error it fails with; a hold's, for good
  std::string later_kind;     // the call `later`, once it failed
  bool real_waits = false;    // waits for another program's hold take their time
  // A scanner: the new file is opened by another program as it is closed,
  // and held for `scanner_ms` (INFINITE: until the test lets go).
  bool scanner = false;
  DWORD scanner_ms = 0;
  // A writer that has the file open: it writes `second_half` at Load's
  // first read (the read beside it), or, with `writer_ms`, that long after
  // the command starts, and then lets go; with no second half, it holds
  // the whole file until the command is over.
  bool writer = false;
  std::string second_half;  // empty: the writer wrote the whole file before
  DWORD writer_ms = 0;
  // The rename refused with this error for the first 0.3 s of the command.
  DWORD rename_refusal = 0;
  DWORD rename_refused_until = 0;
  std::string failed_kind;    // the call `at`, once it failed
};
Sweep g_sweep;

Sweep Sweeping(Sweep::Mode mode, unsigned at, DWORD error, bool no_new_files) {
  Sweep sweep;
  sweep.mode = mode;
  sweep.at = at;
  sweep.error = error;
  sweep.no_new_files = no_new_files;
  return sweep;
}

// Holds a file open as another program would, with the sharing it allows,
// until `ms` later (on a thread of its own) or, for INFINITE, until LetGo.
class Holder {
 public:
  void Hold(const std::wstring& path, DWORD share, DWORD ms) {
    LetGo();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    if (ms == INFINITE) {
      held_.reset(file);
      return;
    }
    timed_ = std::thread([file, ms] {
      Sleep(ms);
      CloseHandle(file);
    });
  }
  void LetGo() {
    if (timed_.joinable()) timed_.join();
    held_.reset();
  }
  ~Holder() { LetGo(); }

 private:
  UniqueFile held_;
  std::thread timed_;
};
Holder g_holder;

// A program that writes the target in two halves, holding it open for
// writing (sharing reading) between them.
class Writer {
 public:
  void Start(const std::wstring& path, const std::string& first_half) {
    file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    Append(first_half);
  }
  // Writes the second half and lets go, at once, or `ms` later on a thread
  // of its own.
  void Finish(const std::string& second_half, DWORD ms) {
    if (!file_) return;
    if (ms == 0) {
      Append(second_half);
      file_.reset();
      return;
    }
    later_ = std::thread([this, second_half, ms] {
      Sleep(ms);
      Finish(second_half, 0);
    });
  }
  void LetGo() {
    if (later_.joinable()) later_.join();
    file_.reset();
  }
  ~Writer() { LetGo(); }

 private:
  void Append(const std::string& bytes) {
    DWORD written = 0;
    WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  UniqueFile file_;
  std::thread later_;
};
Writer g_writer;
HANDLE g_new_file = INVALID_HANDLE_VALUE;  // the new file, as the seam saw it made
std::wstring g_new_name;

constexpr UINT kCutOff = 0xC07;  // the exit code of a child the seam ended

// Counts a call; its error when it is one to fail (set as the last error),
// else 0.
DWORD Failing(const char* call) {
  g_sweep.made.push_back(call);
  if (g_sweep.mode != Sweep::kFail) return 0;
  DWORD error = 0;
  if (g_sweep.made.size() == g_sweep.at) {
    g_sweep.failed_kind = call;
    error = g_sweep.error;
  } else if (g_sweep.for_good && g_sweep.failed_kind == call) {
    error = g_sweep.error;
  } else if (g_sweep.made.size() == g_sweep.later) {
    g_sweep.later_kind = call;
    error = g_sweep.later_error;
  } else if (g_sweep.later_kind == call && (g_sweep.later_error == ERROR_ACCESS_DENIED ||
                                            g_sweep.later_error == ERROR_SHARING_VIOLATION)) {
    error = g_sweep.later_error;
  }
  if (error != 0) SetLastError(error);
  return error;
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
    if (Failing(kName) != 0) return kFailed;
    return Done(kReal(args...));
  }
};

constexpr char kWrite[] = "WriteFile", kFlush[] = "FlushFileBuffers",
               kSeek[] = "SetFilePointerEx", kSetEnd[] = "SetEndOfFile", kInfo[] = "GetFileInformationByHandle",
               kTime[] = "SetFileTime", kAttributes[] = "GetFileAttributesExW", kDelete[] = "DeleteFileW", kFullPath[] = "GetFullPathNameW";

// The folder may refuse new files.
HANDLE WINAPI SweptCreate(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
  if (Failing("CreateFileW")) return INVALID_HANDLE_VALUE;
  if (g_sweep.no_new_files && disposition == CREATE_NEW) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Done(INVALID_HANDLE_VALUE);
  }
  const HANDLE file = CreateFileW(name, access, share, security, disposition, flags, model);
  if (disposition == CREATE_NEW && file != INVALID_HANDLE_VALUE) {
    g_new_file = file;
    g_new_name = name;
  }
  return Done(file);
}
// The rename refused for a moment, as Windows refuses it.
BOOL WINAPI SweptMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (Failing("MoveFileExW")) return FALSE;
  if (g_sweep.rename_refusal != 0 && GetTickCount() < g_sweep.rename_refused_until) {
    SetLastError(g_sweep.rename_refusal);
    return Done(FALSE);
  }
  return Done(MoveFileExW(from, to, flags));
}

// A writer may write its second half as Load reads.
BOOL WINAPI SweptRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  if (Failing("ReadFile")) return FALSE;
  if (g_sweep.writer && !g_sweep.second_half.empty() && g_sweep.writer_ms == 0) {
    g_writer.Finish(g_sweep.second_half, 0);
    g_sweep.second_half.clear();
  }
  return Done(ReadFile(file, buffer, size, got, overlapped));
}
// A failed close has given the handle up all the same. A scanner opens the
// new file as it is closed.
BOOL WINAPI SweptClose(HANDLE handle) {
  const DWORD error = Failing("CloseHandle");
  const BOOL closed = CloseHandle(handle);
  if (handle == g_new_file) {
    g_new_file = INVALID_HANDLE_VALUE;
    if (g_sweep.scanner) {
      g_holder.Hold(g_new_name, FILE_SHARE_READ | FILE_SHARE_WRITE, g_sweep.scanner_ms);
    }
  }
  if (!error) return Done(closed);
  SetLastError(error);
  return FALSE;
}

// Waits for another program's hold take no time, but where a real one holds a file.
void WINAPI SweptSleep(DWORD ms) {
  if (g_sweep.real_waits) Sleep(ms);
}

Win32FileApi SweptApi() {
  Win32FileApi api;
  api.create_file = SweptCreate;
  api.read_file = SweptRead;
  api.write_file = Swept<decltype(api.write_file)>::Call<kWrite, WriteFile, FALSE>;
  api.flush_file = Swept<decltype(api.flush_file)>::Call<kFlush, FlushFileBuffers, FALSE>;
  api.set_file_pointer = Swept<decltype(api.set_file_pointer)>::Call<kSeek, SetFilePointerEx, FALSE>;
  api.set_end_of_file = Swept<decltype(api.set_end_of_file)>::Call<kSetEnd, SetEndOfFile, FALSE>;
  api.get_file_information =
      Swept<decltype(api.get_file_information)>::Call<kInfo, GetFileInformationByHandle, FALSE>;
  api.set_file_time = Swept<decltype(api.set_file_time)>::Call<kTime, SetFileTime, FALSE>;
  api.get_attributes = Swept<decltype(api.get_attributes)>::Call<kAttributes, GetFileAttributesExW, FALSE>;
  api.move_file = SweptMove;
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
      {"GetFileAttributesExW", {5}},
      {"DeleteFileW", {5, 32}},
      {"MoveFileExW", {5, 32, 17}},      // a hold; not the same device
      {"SetFileTime", {5}},
      {"ReadFile", {1117}},              // device error
      {"GetFileInformationByHandle", {1117}},
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
// none), and sets `written` to how Save's write ended.
std::wstring RunCommand(const Scenario& s, LocalEditor& editor, const std::wstring& folder,
                        WriteOutcome* written = nullptr) {
  if (s.load()) {
    editor.SetText(L"before");
    LoadNewsFile(editor.commands(), TargetIn(folder));
    return L"";
  }
  editor.SetText(Widen(s.text));
  return editor.AnsweringBoxes(IDOK, [&] { SaveNewsFile(editor.commands(), TargetIn(folder), written); });
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

// What the target holds: "old", "new", "none", "part" (what a write in
// place promises on the way), or "OTHER".
std::string TargetState(const Scenario& s, const std::string& file) {
  if (file == kNoFile) return s.old == kNoFile ? "none" : "GONE";
  if (file == s.old) return "old";
  if (!s.load() && file == s.fresh()) return "new";
  if (!s.load() && s.old != kNoFile && InPlaceShape(file, s.old, s.fresh())) return "part";
  return "OTHER";
}

// What became of the target, in the table's words.
std::string Said(Written what) {
  switch (what) {
    case Written::kSaved: return "saved";
    case Written::kSavedInPlace: return "saved in place";
    case Written::kNotChanged: return "not changed";
    case Written::kNotCreated: return "no file";
    case Written::kMayHoldPart: return "may hold part";
  }
  return "UNKNOWN";
}

// The files beside the target: each must be named in `message` as a file
// that could not be removed, and hold a start of the new text (or all of it).
// Returns what is wrong.
std::string CheckOthers(const Scenario& s, const std::wstring& folder, const std::wstring& message) {
  std::string wrong;
  for (const std::wstring& name : FolderNames(folder)) {
    const std::wstring path = folder + L"\\" + name;
    if (path == TargetIn(folder)) continue;
    const std::string content = ReadFileBytes(path);
    if (message.find(L"could not be removed:\n" + path) == std::wstring::npos) {
      wrong += " " + Narrow(name) + " left unnamed;";
    } else if (s.fresh().compare(0, content.size(), content) != 0) {
      wrong += " " + Narrow(name) + " holds no start of the new text;";
    }
  }
  return wrong;
}

// Checks a run of the scenario in which one call failed: returns the outcome
// and adds what is wrong to `wrong`.
std::string CheckFailedRun(const Scenario& s, LocalEditor& editor, const std::wstring& folder,
                           const std::wstring& message, const WriteOutcome& written, std::string& wrong) {
  const std::string state = TargetState(s, ReadFileBytes(TargetIn(folder)));
  std::string outcome;
  if (s.load()) {
    const std::wstring shown = editor.Text();
    outcome = shown == Widen(s.old) ? "loaded" : shown == L"Error while opening file" ? "error text" : "";
    if (outcome.empty()) wrong += " the editor shows neither the file nor the error text;";
    if (state != "old") wrong += " the file is " + state + ";";
  } else {
    outcome = Said(written.what);
    if (written.clean() ? !message.empty() : message.empty()) {
      wrong += " the box " + std::string(message.empty() ? "is missing" : "is shown") + ";";
    }
    if (!written.left.empty()) outcome += ", a file left";
    const std::map<std::string, std::vector<std::string>> kMayBe = {
        {"saved", {"new"}},
        {"saved in place", {"new"}},
        {"saved in place, a file left", {"new"}},
        {"not changed", {"old", "none"}},  // "none": the system could not tell whether it is there
        {"not changed, a file left", {"old", "none"}},
        {"no file", {"none"}},
        {"no file, a file left", {"none"}},
        {"may hold part", {"old", "part", "new"}},
        {"may hold part, a file left", {"old", "part", "new"}},
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
// target's state, adds what is wrong to `wrong`, and tallies what each file
// left beside it holds: the whole old or new text, byte for byte, or, only
// while the new file is being written beside a whole target, a start of the
// new text.
std::string CheckCutRun(const Scenario& s, const std::wstring& folder,
                        std::map<std::string, unsigned>& left, std::string& wrong) {
  const std::string state = TargetState(s, ReadFileBytes(TargetIn(folder)));
  const bool whole = state == "old" || state == "new" || state == "none";
  if (!whole && !(s.in_place() && state == "part")) wrong += " the target is " + state + ";";
  std::size_t temporaries = 0;
  for (const std::wstring& name : FolderNames(folder)) {
    if (folder + L"\\" + name == TargetIn(folder)) continue;
    if (name.compare(0, 3, L"~tv") != 0 || name.size() < 5 || name.substr(name.size() - 4) != L".tmp") {
      wrong += " " + Narrow(name) + " left;";
      continue;
    }
    ++temporaries;
    const std::string content = ReadFileBytes(folder + L"\\" + name);
    if (content == s.fresh()) {
      ++left["the whole new text"];
    } else if (content == s.old) {
      ++left["the whole old text"];
    } else if (s.fresh().compare(0, content.size(), content) == 0) {
      ++left["a start of the new text"];
    } else {
      wrong += " " + Narrow(name) + " holds neither text;";
    }
  }
  if (temporaries == 0) ++left["no file"];
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
 public:
  // The calls the scenario makes when nothing fails, and a check that it then works.
  static std::vector<std::string> CountCalls(const Scenario& s, const std::wstring& folder) {
    Arrange(s, folder);
    Win32FileSystem fs(SweptApi());
    LocalEditor editor(fs);
    g_sweep = Sweeping(Sweep::kCount, 0, 0, s.no_new_files);
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

bool Hold(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// What the runs of one scenario in one mode showed.
struct Runs {
  unsigned runs = 0, held = 0;
  std::map<std::string, unsigned> outcomes;
  std::string Seen() const {
    return std::to_string(runs) + " runs, invariants held in " + std::to_string(held) +
           "; outcomes: " + Tally(outcomes);
  }
};

// The target as another program holds it during a run: its sharing, and
// when it lets go (INFINITE: after the command).
struct TargetHold {
  bool held = false;
  DWORD share = 0;
  DWORD ms = 0;
};

// Runs the scenario with `sweep` in force and checks its invariants, and the
// next Save and Load; `expect`, where given, adds what is wrong with the
// outcome (Save's) or the editor's text (Load's).
void CheckedRun(const Scenario& s, LocalEditor& editor, const std::wstring& folder, const Sweep& sweep,
                const std::string& how, Runs& runs, TargetHold hold = {},
                std::function<std::string(const WriteOutcome&, const std::wstring&)> expect = nullptr) {
  Arrange(s, folder);
  if (hold.held) g_holder.Hold(TargetIn(folder), hold.share, hold.ms);
  if (sweep.writer) {
    g_writer.Start(TargetIn(folder), s.old.substr(0, s.old.size() - sweep.second_half.size()));
    if (sweep.writer_ms != 0) g_writer.Finish(sweep.second_half, sweep.writer_ms);
  }
  g_sweep = sweep;
  g_sweep.rename_refused_until = GetTickCount() + 300;
  WriteOutcome written;
  const std::wstring message = RunCommand(s, editor, folder, &written);
  g_sweep = Sweep{};
  g_holder.LetGo();
  g_writer.LetGo();
  std::string wrong;
  ++runs.outcomes[CheckFailedRun(s, editor, folder, message, written, wrong)];
  if (expect) wrong += expect(written, s.load() ? editor.Text() : message);
  CheckNextSaveAndLoad(editor, folder, wrong);
  g_sweep = Sweep{};
  ++runs.runs;
  runs.held += wrong.empty();
  EXPECT_EQ(wrong, "") << s.name << ", " << how << "; the box: " << Narrow(message);
}

enum class Failures { kOnce, kForGood, kThenLater };

// The calls that settle what a failure left: moving, removing, cutting
// back, closing, and, once the rename was tried, opening (the target, to
// write in place after a rename held for good; the new file, to read it).
bool Settling(const std::string& call, bool renamed) {
  if (call == "CreateFileW") return renamed;
  for (const char* kind : {"MoveFileExW", "DeleteFileW", "SetFilePointerEx", "SetEndOfFile", "CloseHandle"}) {
    if (call == kind) return true;
  }
  return false;
}

// For each scenario and each call n: call n fails with each error of its
// kind (kOnce); with a hold's error, and every later call of its kind too
// (kForGood); or as kOnce (a hold's error for good), and then, in a run of
// its own, each later call m of that run that settles the failure (the
// removal of the new file, the write in place after a rename held for good,
// its cut-back) with each error of its kind, a hold's (5, 32) for good, as a
// hold for a moment is waited out (kThenLater).
void SweepFailures(Failures mode, const std::string& mode_name) {
  for (const Scenario& s : Scenarios()) {
    const std::wstring folder = FreshFolder(L"sweep");
    const std::vector<std::string> calls = SweepTest::CountCalls(s, folder);
    ASSERT_FALSE(calls.empty()) << s.name;
    Runs runs;
    Win32FileSystem fs(SweptApi());
    LocalEditor editor(fs);
    for (unsigned n = 1; n <= calls.size(); ++n) {
      for (DWORD error : ErrorsAt(calls[n - 1])) {
        if (mode == Failures::kForGood && !Hold(error)) continue;
        Sweep sweep = Sweeping(Sweep::kFail, n, error, s.no_new_files);
        sweep.for_good = mode == Failures::kForGood || (mode == Failures::kThenLater && Hold(error));
        const std::string how = "call " + std::to_string(n) + " (" + calls[n - 1] + ") failing with " +
                                std::to_string(error) + (sweep.for_good ? " for good" : "");
        if (mode != Failures::kThenLater) {
          CheckedRun(s, editor, folder, sweep, how, runs);
          continue;
        }
        // The calls of the run in which call n fails, the recovery's included.
        Arrange(s, folder);
        g_sweep = sweep;
        RunCommand(s, editor, folder);
        const std::vector<std::string> made = std::move(g_sweep.made);
        g_sweep = Sweep{};
        bool renamed = false;
        for (unsigned m = 1; m <= made.size(); ++m) {
          renamed = renamed || made[m - 1] == "MoveFileExW";
          if (m <= n || !Settling(made[m - 1], renamed)) continue;
          for (DWORD later_error : ErrorsAt(made[m - 1])) {
            sweep.later = m;
            sweep.later_error = later_error;
            CheckedRun(s, editor, folder, sweep,
                       how + ", then call " + std::to_string(m) + " (" + made[m - 1] + ") with " +
                           std::to_string(later_error),
                       runs);
          }
        }
      }
    }
    Seen("sweep, " + mode_name + ", " + std::string(s.name) + ": " + std::to_string(calls.size()) +
         " calls" + (mode == Failures::kOnce ? " (" + Joined(calls) + ")" : "") + ", " + runs.Seen());
  }
}

TEST_F(SweepTest, EveryFileCallFailedInTurn) { SweepFailures(Failures::kOnce, "each call failed in turn"); }

TEST_F(SweepTest, EveryFileCallFailedForGood) {
  SweepFailures(Failures::kForGood, "each call failed for good (holds)");
}

TEST_F(SweepTest, EveryFileCallFailedAndThenEachLaterCall) {
  SweepFailures(Failures::kThenLater, "each call failed, and then each later call");
}

// Other programs at work: one holds the target from before Save (f), or
// opens the new file as Save closes it, as a scanner does (g), and lets go
// after 0.3 s, or only after the command; the system refuses the rename for
// 0.3 s (h), as Windows does for a file being deleted (access denied) or
// locked in part (lock violation); a program writes the file in two halves
// while Load reads it (i). A hold that ends is waited out and the file saved
// (or loaded whole); one that lasts leaves a holder that lets others write
// (as readers do) the file written in place, and otherwise the target as it
// was, with a box that says another program uses the file; Load never shows
// a half.
TEST_F(SweepTest, HeldByAnotherProgram) {
  const Scenario& save = Scenarios()[1];  // (b) Save over a file
  const Scenario& load = Scenarios()[5];  // (e) Load
  constexpr DWORD kRead = FILE_SHARE_READ, kReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  enum Expected { kSaved, kSavedInPlace, kHeld, kLoaded, kLoadError };
  const std::string second_half = load.old.substr(load.old.size() / 2);
  struct Row {
    const char* scenario;
    std::string how;
    const Scenario& s;
    TargetHold hold;
    std::function<void(Sweep&)> arrange;
    Expected expected;
  };
  std::vector<Row> rows;
  const struct {
    const char* name;
    DWORD share;
  } sharings[] = {{"sharing read", kRead}, {"sharing read and write", kReadWrite},
                  {"sharing read, write and delete", kReadWrite | FILE_SHARE_DELETE}, {"sharing nothing", 0}};
  for (const auto& sharing : sharings) {
    rows.push_back({"(f) The target held by another program", std::string(sharing.name) + ", let go after 0.3 s",
                    save, {true, sharing.share, 300}, nullptr, kSaved});
    rows.push_back({"(f) The target held by another program", std::string(sharing.name) + ", held for good", save,
                    {true, sharing.share, INFINITE}, nullptr,
                    (sharing.share & FILE_SHARE_WRITE) ? kSavedInPlace : kHeld});
  }
  for (const DWORD ms : {DWORD{300}, DWORD{INFINITE}}) {
    rows.push_back({"(g) The new file held by another program as it is closed (a scanner)",
                    ms == INFINITE ? "sharing read and write, held for good" : "sharing read and write, let go after 0.3 s",
                    save, {}, [ms](Sweep& sweep) { sweep.scanner = true, sweep.scanner_ms = ms; },
                    ms == INFINITE ? kSavedInPlace : kSaved});
  }
  rows.push_back({"(h) The rename refused for 0.3 s", "access denied (a file being deleted)", save, {},
                  [](Sweep& sweep) { sweep.rename_refusal = ERROR_ACCESS_DENIED; }, kSaved});
  rows.push_back({"(h) The rename refused for 0.3 s", "a lock violation", save, {},
                  [](Sweep& sweep) { sweep.rename_refusal = ERROR_LOCK_VIOLATION; }, kSaved});
  const char* const kWriter = "(i) Load while another program writes the file in two halves";
  rows.push_back({kWriter, "the second after 0.3 s", load, {},
                  [&](Sweep& sweep) { sweep.writer = true, sweep.second_half = second_half, sweep.writer_ms = 300; },
                  kLoaded});
  rows.push_back({kWriter, "the second as Load reads beside it, the writer holding the file for good", load, {},
                  [&](Sweep& sweep) { sweep.writer = true, sweep.second_half = second_half; }, kLoadError});
  rows.push_back({kWriter, "both before Load, the writer holding the file for good", load, {},
                  [](Sweep& sweep) { sweep.writer = true; }, kLoaded});
  const std::wstring folder = FreshFolder(L"held");
  Win32FileSystem fs(SweptApi());
  LocalEditor editor(fs);
  std::map<std::string, Runs> runs;
  for (const auto& row : rows) {
    Sweep sweep = Sweeping(Sweep::kCount, 0, 0, false);
    sweep.real_waits = true;
    if (row.arrange) row.arrange(sweep);
    CheckedRun(row.s, editor, folder, sweep, row.scenario + (", " + row.how), runs[row.scenario],
               row.hold, [&](const WriteOutcome& written, const std::wstring& shown) -> std::string {
                 switch (row.expected) {
                   case kSaved:
                     return written.what == Written::kSaved && written.clean() ? "" : " not saved, or not cleanly;";
                   case kSavedInPlace:
                     return written.what == Written::kSaved || written.what == Written::kSavedInPlace
                                ? ""
                                : " not saved;";
                   case kHeld:
                     return written.what == Written::kNotChanged &&
                                    shown.find(L"Another program is using the file. Close it, and Save again.") !=
                                        std::wstring::npos
                                ? ""
                                : " the box does not say that another program uses the file;";
                   case kLoaded:
                     return shown == Widen(row.s.old) ? "" : " the editor does not show the whole file;";
                   case kLoadError:
                     return shown == L"Error while opening file" ? "" : " the editor does not show the error text;";
                 }
                 return " unexpected;";
               });
  }
  for (const auto& [scenario, r] : runs) Seen("sweep, other programs at work, " + scenario + ": " + r.Seen());
}

TEST_F(SweepTest, CutOffAfterEveryFileCall) {
  wchar_t self[MAX_PATH] = L"";
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  for (std::size_t i = 0; i < Scenarios().size(); ++i) {
    const Scenario& s = Scenarios()[i];
    const std::wstring folder = FreshFolder(L"sweep-cut");
    const std::vector<std::string> calls = CountCalls(s, folder);
    unsigned runs = 0, held = 0;
    std::map<std::string, unsigned> states, left;
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
      ++states[CheckCutRun(s, folder, left, wrong)];
      ++runs;
      held += wrong.empty();
      EXPECT_EQ(wrong, "") << s.name << ", cut off after call " << n << " (" << calls[n - 1] << ")";
    }
    Seen("sweep, cut off after each call in turn, " + std::string(s.name) + ": " +
         std::to_string(calls.size()) + " calls, " + std::to_string(runs) + " runs, invariants held in " +
         std::to_string(held) + "; the target afterwards: " + Tally(states) +
         "; beside it, runs with: " + Tally(left));
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
  g_sweep = Sweeping(Sweep::kCut, n, 0, s.no_new_files);
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
