// The one-line progress display of a mass conversion on a terminal: files
// done of the total, the speed, the file being converted. Redrawn in place
// (carriage return, then "erase to the end of the line"), hidden before any
// other output and cleared at the end, so the lines around it stay intact.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

class ProgressLine {
public:
  // `columns`: width of the terminal `err` writes to; 0 shows nothing.
  ProgressLine(std::ostream &err, int columns) : Err(err), Columns(columns) {}
  ~ProgressLine() { Hide(); }
  ProgressLine(const ProgressLine &) = delete;
  ProgressLine &operator=(const ProgressLine &) = delete;

  // File `index` (from 0) of `total` starts.
  void Start(const std::string &file, size_t index, size_t total);
  // The current file is done; `bytes` is its size, for the speed.
  void Done(uint64_t bytes);
  // Clears the line, before other output or at the end; Start draws it again.
  void Hide();

  // The line for a state, fitted into `columns` - 1 columns (the last column
  // is left free, so that the terminal never wraps it).
  static std::string Text(size_t done, size_t total, double megabytesPerSecond,
                          const std::string &file, int columns);

private:
  std::ostream &Err;
  int Columns;
  bool Shown = false;
  bool Began = false;
  std::chrono::steady_clock::time_point Begin;
  uint64_t Bytes = 0;
};
