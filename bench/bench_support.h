// What the benchmark programs share: a clock, figures over several runs, the
// table they print, news files of realistic lines, and a window holding a text
// box made exactly like the editor of Form1.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tolvex::bench {

double Now();  // seconds, from the performance counter

struct Figures {
  int runs = 0;
  double min = 0;
  double median = 0;
};
Figures Summarise(std::vector<double> samples);

// One row of the table: the program's figure beside the floor's, and the goal.
struct Row {
  std::string measure;
  std::string size;
  std::string unit;  // "s" or "MB"
  Figures tolvex;
  Figures floor;     // runs == 0: nothing beside it
  std::string compare;  // how the two are set against each other, e.g. "ratio 1.02"
  std::string goal;
  bool met = true;
};
void PrintTableHead();
void PrintRow(const Row& row);

// News text of about `bytes` bytes: lines of words, 20 to 120 characters each,
// every line ended by CR LF. The same size always gives the same text.
std::string MakeNewsText(std::size_t bytes);
std::string SizeName(std::size_t bytes);  // "10 KB", "1 MB"
// Creates C:\bench\news-SIZE.txt once and returns its path.
std::wstring NewsFile(std::size_t bytes);
// The editor's text after loading such a file: the bytes as UTF-16.
std::wstring Widen(const std::string& bytes);

// Dispatches every waiting message.
void PumpMessages();

// A visible window of Form1's size with a text box of the editor's styles,
// place, size and font (DEFAULT_GUI_FONT, no typing limit).
class EditorWindow {
 public:
  EditorWindow();
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  HWND frame() const { return frame_; }
  HWND edit() const { return edit_; }
  std::size_t TextLength() const;

 private:
  HWND frame_ = nullptr;
  HWND edit_ = nullptr;
};

// What a benchmark run covers. `quick` runs small sizes once or twice, to see
// that every part works; the figures come from a full run.
struct Plan {
  bool quick = false;
  bool load_only = false;  // the Load and Save figures only
  std::wstring tolvex_exe;
  std::wstring floor_exe;
};
// Load, the per-line way, and Save, in this process through the program's code.
void RunLoadAndSave(const Plan& plan);
// Start-up and peak memory of the program beside the floor program.
void RunStartupAndMemory(const Plan& plan);

}  // namespace tolvex::bench
