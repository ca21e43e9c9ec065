#include "bench_support.h"

#include <algorithm>
#include <cstdio>

#include "../tests/wine/driver.h"
#include "editor_box.h"

namespace tolvex::bench {
namespace {

constexpr wchar_t kFrameClass[] = L"TolvexBenchFrame";

const char* const kWords[] = {
    "the",     "news",    "of",      "today",  "council", "harbour", "ferry",    "leaves",
    "at",      "nine",    "market",  "opens",  "weather", "rain",    "storm",    "expected",
    "mayor",   "said",    "that",    "new",    "road",    "bridge",  "will",     "be",
    "closed",  "until",   "Friday",  "school", "results", "football", "club",    "won",
    "against", "visitors", "a",      "an",     "and",     "in",      "on",       "for",
    "with",    "from",    "report",  "prices", "rise",    "fall",    "festival", "tickets",
    "station", "train",   "delays",  "north",  "south",   "east",    "west",     "coast",
};

// A small, fixed generator: the same text on every machine and every run.
class Lcg {
 public:
  explicit Lcg(unsigned seed) : state_(seed) {}
  unsigned Next(unsigned bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  unsigned state_;
};

}  // namespace

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t{};
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

Figures Summarise(std::vector<double> samples) {
  Figures f;
  if (samples.empty()) return f;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  f.runs = static_cast<int>(n);
  f.min = samples.front();
  f.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  return f;
}

void PrintTableHead() {
  std::printf("| Measure | Size | Runs | Tolvex min | Tolvex median | Floor min | Floor median "
              "| Compared | Goal | Met |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  std::fflush(stdout);
}

void PrintRow(const Row& row) {
  const bool megabytes = row.unit == "MB";
  auto cell = [&](double value, bool present) {
    char text[32] = "";
    if (present) {
      std::snprintf(text, sizeof text, megabytes ? "%.1f %s" : "%.3f %s", value, row.unit.c_str());
    }
    return std::string(present ? text : "");
  };
  const bool floor = row.floor.runs > 0;
  std::string runs = std::to_string(row.tolvex.runs);
  if (floor) runs += " + " + std::to_string(row.floor.runs);
  std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", row.measure.c_str(),
              row.size.c_str(), runs.c_str(), cell(row.tolvex.min, true).c_str(),
              cell(row.tolvex.median, true).c_str(), cell(row.floor.min, floor).c_str(),
              cell(row.floor.median, floor).c_str(), row.compare.c_str(), row.goal.c_str(),
              row.goal.empty() ? "" : row.met ? "yes" : "**no**");
  std::fflush(stdout);
}

std::string MakeNewsText(std::size_t bytes) {
  Lcg random(static_cast<unsigned>(bytes));
  std::string text;
  text.reserve(bytes + 128);
  std::string line;
  while (text.size() < bytes) {
    const std::size_t length = 20 + random.Next(101);  // 20 to 120 characters
    line.clear();
    for (;;) {
      const std::string word = kWords[random.Next(std::size(kWords))];
      if (!line.empty() && line.size() + 1 + word.size() > length) break;
      if (!line.empty()) line += ' ';
      line += word;
    }
    while (line.size() < 20) line += " news";
    if (random.Next(8) == 0) line.back() = '.';
    text.append(line).append("\r\n");
  }
  return text;
}

std::string SizeName(std::size_t bytes) {
  const bool mega = bytes >= (1u << 20);
  return std::to_string(bytes >> (mega ? 20 : 10)) + (mega ? " MB" : " KB");
}

std::wstring NewsFile(std::size_t bytes) {
  CreateDirectoryW(L"C:\\bench", nullptr);
  const std::string name = SizeName(bytes);
  std::wstring path = L"C:\\bench\\news-" + std::wstring(name.begin(), name.end()) + L".txt";
  path.erase(std::remove(path.begin(), path.end(), L' '), path.end());
  if (!driver::FileExists(path)) driver::WriteFileBytes(path, MakeNewsText(bytes));
  return path;
}

std::wstring Widen(const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(n));
  return text;
}

void PumpMessages() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

EditorWindow::EditorWindow() {
  static const ATOM registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    return RegisterClassExW(&wc);
  }();
  (void)registered;
  const SIZE outer = Form1OuterSize();
  frame_ = CreateWindowExW(0, kFrameClass, L"Tolvex benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           0, 0, outer.cx, outer.cy, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  edit_ = CreateEditorBox(frame_);
  UpdateWindow(frame_);
  PumpMessages();
}

EditorWindow::~EditorWindow() {
  if (frame_) DestroyWindow(frame_);
  PumpMessages();
}

std::size_t EditorWindow::TextLength() const {
  return static_cast<std::size_t>(GetWindowTextLengthW(edit_));
}

}  // namespace tolvex::bench
