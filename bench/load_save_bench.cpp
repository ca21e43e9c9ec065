// Load and Save through the program's own code (LoadNewsFile, SaveNewsFile),
// each beside the floor: the least any program must do for the same result.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>

#include "../tests/wine/driver.h"
#include "bench_support.h"
#include "news/news_commands.h"
#include "news/news_text_file.h"
#include "platform/system_code_page.h"
#include "platform/unique_handle.h"
#include "platform/win32_file_system.h"

namespace tolvex::bench {
namespace {

constexpr std::size_t kKB = 1024;
constexpr std::size_t kMB = 1024 * 1024;

// The editor window with everything the Load and Save commands work on.
struct Editor {
  EditorWindow window;
  Win32FileSystem file_system;
  FileSlots slots{file_system};
  CommonDialog dialog{window.frame()};
  NewsEditor commands{window.frame(), window.edit(), dialog, slots, SystemCodePage()};
};

[[noreturn]] void Fail(const char* what, std::size_t size) {
  std::fprintf(stderr, "bench: %s failed at %s\n", what, SizeName(size).c_str());
  std::exit(1);
}

// The ratio of the medians, and of the minimums beside it.
std::string RatioText(const Figures& tolvex, const Figures& floor) {
  char text[48];
  std::snprintf(text, sizeof text, "ratio %.2f (of minimums %.2f)", tolvex.median / floor.median,
                tolvex.min / floor.min);
  return text;
}

// Tolvex's own part of a load, without the text box: the file read by the
// news rules and converted from the code page.
double ReadAndConvert(const std::wstring& path, std::size_t size) {
  Win32FileSystem file_system;
  FileSlots slots(file_system);
  const double start = Now();
  std::string bytes;
  if (!ReadNewsText(slots, path, bytes).ok()) Fail("ReadNewsText", size);
  const std::u16string text = SystemCodePage().Decode(bytes);
  const double seconds = Now() - start;
  if (text.size() != bytes.size()) Fail("Decode", size);
  return seconds;
}

// The text as the editor holds it once loaded, and the floor's time to show it:
// one WM_SETTEXT into a fresh text box, painted.
double FloorShow(const std::wstring& text, std::size_t size) {
  EditorWindow window;
  const double start = Now();
  SendMessageW(window.edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  UpdateWindow(window.edit());
  const double seconds = Now() - start;
  if (window.TextLength() != text.size()) Fail("floor WM_SETTEXT", size);
  return seconds;
}

// Loads the file `runs` times, each into a fresh editor, alternating with the
// floor. Returns the last editor, holding the text, for the Save figures.
std::unique_ptr<Editor> Load(const char* measure, const std::wstring& path, std::size_t size,
                             int runs, bool goal) {
  const std::wstring text = Widen(driver::ReadFileBytes(path));
  std::vector<double> load, floor, own;
  std::unique_ptr<Editor> editor;
  for (int run = 0; run < runs; ++run) {
    own.push_back(ReadAndConvert(path, size));
    editor.reset();
    editor = std::make_unique<Editor>();
    const double start = Now();
    const bool ok = LoadNewsFile(editor->commands, path);
    UpdateWindow(editor->window.edit());
    load.push_back(Now() - start);
    if (!ok || editor->window.TextLength() != text.size()) Fail("LoadNewsFile", size);
    floor.push_back(FloorShow(text, size));
  }
  Row row{measure, SizeName(size), "s", Summarise(load), Summarise(floor), "", "", true};
  row.compare = RatioText(row.tolvex, row.floor);
  if (goal) {
    row.goal = "ratio <= 1.05";
    row.met = row.tolvex.median / row.floor.median <= 1.05;
  }
  PrintRow(row);
  if (goal) {
    Row part{"Load: reading and converting only, no text box", row.size, "s", Summarise(own),
             row.floor, "", "", true};
    char compare[64];
    std::snprintf(compare, sizeof compare, "%.1f %% of the floor", 100 * part.tolvex.median / row.floor.median);
    part.compare = compare;
    PrintRow(part);
  }
  return editor;
}

std::unique_ptr<Editor> Load(std::size_t size, int runs, bool goal) {
  return Load("Load", NewsFile(size), size, runs, goal);
}

// The memory this process has committed, in MB.
double CommittedMegabytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PagefileUsage) / kMB;
}

// Load into an editor that already shows a text as long: Tolvex keeps the
// old text for the editor's Undo, the floor's WM_SETTEXT lets it go. Time,
// and the memory committed after the load beyond before it. The old text is
// the author's own, or (`over_a_load`) a Load's text, unedited, over the
// author's own: Tolvex then first brings the author's text back, so that Undo
// gives it rather than the other Load's.
void LoadOver(std::size_t size, int runs, bool over_a_load) {
  const std::wstring path = NewsFile(size);
  const std::wstring text = Widen(driver::ReadFileBytes(path));
  std::vector<double> load, floor, kept, floor_kept;
  for (int run = 0; run < runs; ++run) {
    {
      Editor editor;
      SendMessageW(editor.window.edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (over_a_load && !LoadNewsFile(editor.commands, path)) Fail("LoadNewsFile", size);
      UpdateWindow(editor.window.edit());
      const double before = CommittedMegabytes();
      const double start = Now();
      const bool ok = LoadNewsFile(editor.commands, path);
      UpdateWindow(editor.window.edit());
      load.push_back(Now() - start);
      kept.push_back(CommittedMegabytes() - before);
      if (!ok || editor.window.TextLength() != text.size()) Fail("LoadNewsFile over a text", size);
    }
    {
      EditorWindow window;
      SendMessageW(window.edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      UpdateWindow(window.edit());
      const double before = CommittedMegabytes();
      const double start = Now();
      SendMessageW(window.edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      UpdateWindow(window.edit());
      floor.push_back(Now() - start);
      floor_kept.push_back(CommittedMegabytes() - before);
      if (window.TextLength() != text.size()) Fail("floor WM_SETTEXT over a text", size);
    }
  }
  Row row{over_a_load ? "Load over a Load's unedited text, the text before it kept for Undo"
                      : "Load over a text as long, kept for Undo",
          SizeName(size), "s", Summarise(load), Summarise(floor), "", "", true};
  row.compare = RatioText(row.tolvex, row.floor);
  PrintRow(row);
  Row memory{over_a_load ? "Memory committed by a load over a Load's unedited text"
                         : "Memory committed by a load over a text as long",
             SizeName(size), "MB", Summarise(kept), Summarise(floor_kept), "", "", true};
  char compare[64];
  std::snprintf(compare, sizeof compare, "+%.1f MB = %.2f x file",
                memory.tolvex.median - memory.floor.median,
                (memory.tolvex.median - memory.floor.median) * kMB / static_cast<double>(size));
  memory.compare = compare;
  PrintRow(memory);
}

// A file of one line, no line breaks: the text box wraps one paragraph in
// time that grows with the square of its length.
void LoadOneLine(std::size_t size, int runs) {
  std::string line = MakeNewsText(size);
  for (std::size_t at = 0; (at = line.find("\r\n", at)) != std::string::npos;) line.replace(at, 2, " ");
  const std::wstring path = L"C:\\bench\\one-line-" + std::to_wstring(size) + L".txt";
  driver::WriteFileBytes(path, line + "\r\n");
  Load("Load, the whole file one line", path, size, runs, false);
  DeleteFileW(path.c_str());
}

// The whole text set again after each line: what loading line by line costs.
void PerLine(std::size_t size, int runs) {
  const std::string bytes = MakeNewsText(size);
  const std::wstring text = Widen(bytes);
  std::vector<double> per_line, floor;
  for (int run = 0; run < runs; ++run) {
    EditorWindow window;
    const double start = Now();
    std::wstring shown;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find(L"\r\n", at) + 2;
      shown.append(text, at, end - at);
      SetWindowTextW(window.edit(), shown.c_str());
      at = end;
    }
    UpdateWindow(window.edit());
    per_line.push_back(Now() - start);
    if (window.TextLength() != text.size()) Fail("per-line load", size);
    floor.push_back(FloorShow(text, size));
  }
  Row row{"Load, text set once per line", SizeName(size), "s", Summarise(per_line),
          Summarise(floor), "", "", true};
  row.compare = RatioText(row.tolvex, row.floor);
  PrintRow(row);
}

// The floor of Save: the text out of the box, converted, written, closed.
double FloorSave(HWND edit, const std::wstring& target, std::size_t size) {
  const double start = Now();
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  std::string bytes(text.size(), '\0');
  bytes.resize(static_cast<std::size_t>(
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr)));
  UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) || written != bytes.size()) {
    Fail("floor save", size);
  }
  file.reset();
  return Now() - start;
}

void Save(Editor& editor, std::size_t size, int runs, bool goal) {
  const std::string name = SizeName(size);
  const std::wstring target = L"C:\\bench\\saved-" + std::to_wstring(size) + L".txt";
  const std::wstring floor_target = L"C:\\bench\\floor-" + std::to_wstring(size) + L".txt";
  const std::size_t expected = editor.window.TextLength() + 2;
  // The first save makes the file; the measured ones replace it, as a user's do.
  if (!SaveNewsFile(editor.commands, target)) Fail("SaveNewsFile", size);
  std::vector<double> save, floor;
  for (int run = 0; run < runs; ++run) {
    const double start = Now();
    const bool ok = SaveNewsFile(editor.commands, target);
    save.push_back(Now() - start);
    if (!ok || driver::ReadFileBytes(target).size() != expected) Fail("SaveNewsFile", size);
    floor.push_back(FloorSave(editor.window.edit(), floor_target, size));
  }
  DeleteFileW(target.c_str());
  DeleteFileW(floor_target.c_str());
  Row row{"Save", name, "s", Summarise(save), Summarise(floor), "", "", true};
  char compare[64];
  std::snprintf(compare, sizeof compare, "+%.3f s", row.tolvex.median - row.floor.median);
  row.compare = compare;
  if (goal) {
    row.goal = "<= 0.2 s";
    row.met = row.tolvex.median <= 0.2;
  }
  PrintRow(row);
}

}  // namespace

void RunLoadAndSave(const Plan& plan) {
  if (plan.quick) {
    Load(10 * kKB, 2, false);
    auto editor = Load(100 * kKB, 2, false);
    PerLine(10 * kKB, 1);
    LoadOneLine(10 * kKB, 1);
    Save(*editor, 100 * kKB, 2, false);
    LoadOver(100 * kKB, 1, false);
    LoadOver(100 * kKB, 1, true);
    return;
  }
  Load(10 * kKB, 9, false);
  Load(100 * kKB, 7, false);
  auto editor = Load(kMB, 9, true);
  Save(*editor, kMB, 7, false);
  editor = Load(10 * kMB, 7, true);
  Save(*editor, 10 * kMB, 5, true);
  editor.reset();
  LoadOver(kMB, 5, false);
  LoadOver(10 * kMB, 3, false);
  LoadOver(kMB, 5, true);
  LoadOver(10 * kMB, 3, true);
  PerLine(10 * kKB, 3);
  PerLine(30 * kKB, 3);
  LoadOneLine(10 * kKB, 3);
  LoadOneLine(30 * kKB, 3);
  LoadOneLine(100 * kKB, 3);
}

}  // namespace tolvex::bench
