// Start-up and peak memory, measured from outside: Tolvex111.exe beside the
// floor program (bench/floor_window.cpp), run alternately in the same session.
#include <windows.h>
#include <psapi.h>

#include <cstdarg>
#include <cstdio>

#include "../tests/wine/driver.h"
#include "app/form1_layout.h"
#include "bench_support.h"
#include "platform/unique_handle.h"

namespace tolvex::bench {
namespace {

constexpr std::size_t kMemoryFileSize = 10u << 20;

// A started program, in a job that kills it when the job handle closes; asked
// to close when done with.
class Program {
 public:
  Program(const std::wstring& exe, const std::wstring& argument)
      : launched_(driver::LaunchInJob(exe, argument, L"C:\\")) {}
  ~Program() {
    if (!started()) return;
    for (HWND h : driver::TopWindows(launched_.pid)) PostMessageW(h, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process(), 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process(), 1);
      WaitForSingleObject(process(), 5000);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return static_cast<bool>(launched_.process); }
  HANDLE process() const { return launched_.process.get(); }

  // The visible top-level window of `window_class`, once the program has
  // painted it and gone idle in its message loop.
  HWND WaitUntilShownAndIdle(const wchar_t* window_class) const {
    HWND shown = nullptr;
    const double deadline = Now() + 60;
    while (!shown && Now() < deadline) {
      WaitForInputIdle(process(), 100);
      for (HWND h : driver::TopWindows(launched_.pid, window_class)) {
        if (IsWindowVisible(h)) shown = h;
      }
      if (!shown) Sleep(1);
    }
    DWORD_PTR ignored = 0;
    if (shown) SendMessageTimeoutW(shown, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    return shown;
  }

  PROCESS_MEMORY_COUNTERS Memory() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process(), &counters, sizeof counters);
    return counters;
  }

 private:
  driver::Launched launched_;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

double StartUp(const std::wstring& exe, const wchar_t* window_class,
               const std::wstring& argument = L"") {
  const double start = Now();
  Program program(exe, argument);
  if (!program.started() || !program.WaitUntilShownAndIdle(window_class)) Fail("start-up");
  return Now() - start;
}

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Tolvex's peak after loading the file through its Load button and dialog;
// with no path, after cancelling the dialog.
double TolvexPeak(const std::wstring& exe, const std::wstring& path, std::size_t length) {
  Program program(exe, L"");
  HWND form = program.WaitUntilShownAndIdle(L"TolvexForm1");
  if (!form) Fail("Tolvex did not start");
  PostMessageW(GetDlgItem(form, kIdOpen), BM_CLICK, 0, 0);
  HWND dialog = driver::WaitForOwnedDialog(GetProcessId(program.process()), form);
  if (!dialog) Fail("no Open dialog");
  if (path.empty()) {
    WaitForInputIdle(program.process(), 10000);
    driver::CancelDialog(dialog);
    if (!driver::WaitFor([&] { return !IsWindow(dialog); })) Fail("the Open dialog stayed");
  } else {
    driver::ChooseFile(dialog, path);
  }
  if (!driver::WaitForTextLength(GetDlgItem(form, kIdText), length, 180000)) Fail("Tolvex did not load the file");
  return Megabytes(program.Memory().PeakWorkingSetSize);
}

// The floor program's peak after showing the same file with one WM_SETTEXT;
// with no path, an empty window.
double FloorPeak(const std::wstring& exe, const std::wstring& path, std::size_t length) {
  Program program(exe, path);
  HWND window = program.WaitUntilShownAndIdle(L"TolvexFloor");
  if (!window) Fail("the floor program did not start");
  HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
  if (!path.empty() && !driver::WaitForTextLength(edit, length, 180000)) {
    Fail("the floor program did not load the file");
  }
  return Megabytes(program.Memory().PeakWorkingSetSize);
}

// The floor program built with Tolvex's DLLs, beside the plain one.
std::wstring WithDlls(const std::wstring& floor_exe) {
  const std::size_t dot = floor_exe.rfind(L".exe");
  return floor_exe.substr(0, dot) + L"_dlls" + floor_exe.substr(dot);
}

[[gnu::format(printf, 1, 2)]] std::string Compared(const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void StartUpRows(const Plan& plan) {
  const int runs = plan.quick ? 2 : 21;
  const std::wstring floor_dlls = WithDlls(plan.floor_exe);
  // Once each, unmeasured: the first start of a program also fills caches.
  StartUp(plan.tolvex_exe, L"TolvexForm1");
  StartUp(plan.floor_exe, L"TolvexFloor");
  StartUp(floor_dlls, L"TolvexFloor");
  StartUp(floor_dlls, L"TolvexFloor", L"--controls");
  std::vector<double> tolvex, floor, dlls, controls;
  for (int run = 0; run < runs; ++run) {
    tolvex.push_back(StartUp(plan.tolvex_exe, L"TolvexForm1"));
    floor.push_back(StartUp(plan.floor_exe, L"TolvexFloor"));
    dlls.push_back(StartUp(floor_dlls, L"TolvexFloor"));
    controls.push_back(StartUp(floor_dlls, L"TolvexFloor", L"--controls"));
  }
  Row row{"Start-up to painted and idle, beside an empty window", "", "s", Summarise(tolvex),
          Summarise(floor), "", "ratio <= 1.2", true};
  const double ratio = row.tolvex.median / row.floor.median;
  row.compare = Compared("ratio %.2f", ratio);
  row.met = ratio <= 1.2;
  PrintRow(row);
  Row same_dlls{"Start-up, beside an empty window that loads Tolvex's DLLs", "", "s",
                row.tolvex, Summarise(dlls), "", "", true};
  same_dlls.compare = Compared("ratio %.2f", row.tolvex.median / same_dlls.floor.median);
  PrintRow(same_dlls);
  Row same_window{"Start-up, beside a window with Tolvex's DLLs and controls", "", "s",
                  row.tolvex, Summarise(controls), "", "", true};
  same_window.compare =
      Compared("ratio %.2f", row.tolvex.median / same_window.floor.median);
  PrintRow(same_window);
}

void MemoryRows(const Plan& plan) {
  const std::size_t size = plan.quick ? (1u << 20) : kMemoryFileSize;
  const std::wstring path = NewsFile(size);
  const std::size_t length = driver::ReadFileBytes(path).size();
  const int runs = plan.quick ? 1 : 5;
  std::vector<double> tolvex, floor;
  for (int run = 0; run < runs; ++run) {
    tolvex.push_back(TolvexPeak(plan.tolvex_exe, path, length));
    floor.push_back(FloorPeak(plan.floor_exe, path, length));
  }
  Row row{"Peak working set, loading", SizeName(size), "MB", Summarise(tolvex), Summarise(floor),
          "", "", true};
  const double above = row.tolvex.median - row.floor.median;
  const double file_mb = Megabytes(length);
  row.compare = Compared("+%.1f MB = %.2f x file", above, above / file_mb);
  if (!plan.quick) {  // the goal is for a 10 MB file
    row.goal = "<= 3 x file above floor";
    row.met = above <= 3 * file_mb;
  }
  PrintRow(row);

  // The same with no file: Tolvex with its Open dialog shown and cancelled,
  // the floor with an empty window. What the file itself adds is the rest.
  tolvex.clear();
  floor.clear();
  for (int run = 0; run < runs; ++run) {
    tolvex.push_back(TolvexPeak(plan.tolvex_exe, L"", 0));
    floor.push_back(FloorPeak(plan.floor_exe, L"", 0));
  }
  Row no_file{"Peak working set, Open dialog cancelled (floor: empty window)", "", "MB",
              Summarise(tolvex), Summarise(floor), "", "", true};
  const double fixed = no_file.tolvex.median - no_file.floor.median;
  no_file.compare = Compared("+%.1f MB; the file adds %.2f x file", fixed, (above - fixed) / file_mb);
  PrintRow(no_file);
}

}  // namespace

void RunStartupAndMemory(const Plan& plan) {
  StartUpRows(plan);
  MemoryRows(plan);
}

}  // namespace tolvex::bench
