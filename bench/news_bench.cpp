// Tolvex's benchmarks: prints one Markdown table of figures.
//
//   news_bench.exe TOLVEX.exe FLOOR_WINDOW.exe [--quick] [--load]
//
// --load runs the Load and Save figures only.
//
// Runs under Wine through tools/wine-test.sh (tools/bench.sh does all of it).
// News files are made in C:\bench of the run's own prefix.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_support.h"

int wmain(int argc, wchar_t** argv) {
  tolvex::bench::Plan plan;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--quick") {
      plan.quick = true;
    } else if (arg == L"--load") {
      plan.load_only = true;
    } else if (plan.tolvex_exe.empty()) {
      plan.tolvex_exe = arg;
    } else {
      plan.floor_exe = arg;
    }
  }
  if (plan.tolvex_exe.empty() || plan.floor_exe.empty()) {
    std::fprintf(stderr, "usage: news_bench TOLVEX.exe FLOOR_WINDOW.exe [--quick] [--load]\n");
    return 2;
  }
  tolvex::bench::PrintTableHead();
  tolvex::bench::RunLoadAndSave(plan);
  if (!plan.load_only) tolvex::bench::RunStartupAndMemory(plan);
  return 0;
}
