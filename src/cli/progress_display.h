#pragma once

// The console view of a patch run: a one-line progress bar on standard error (percentage,
// bytes of package data done and total, speed, and the current status text), redrawn in
// place, and the run's trace lines on standard output. Trace lines and questions clear the
// bar first, so that nothing is written over it; the bar comes back on the next update.
//
// Threads: Line() runs on the worker thread, Update() and Finish() on the main thread,
// Pause() and Resume() around a question on the worker thread; one lock orders them.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/platform.h"

// "512 B", "1.5 KiB", "12.3 MiB", "2.00 GiB".
std::string FormatBytes(uint64_t bytes);

// One bar line, at most `width` columns. `total` 0 shows 0 % (nothing to measure yet).
// `seconds` is the time since the run started; the speed is done / seconds.
std::string FormatProgressLine(uint32_t done, uint32_t total, double seconds,
                               const std::string& status, size_t width);

class CProgressDisplay : public CTrace {
 public:
  // `bar` null: no bar is drawn, trace lines still go to `traceOut`.
  CProgressDisplay(FILE* bar, FILE* traceOut, size_t width)
      : m_bar(bar), m_traceOut(traceOut), m_width(width) {}

  void Line(const std::string& text) override;
  void Update(uint32_t done, uint32_t total, double seconds, const std::string& status);
  // Leaves the last bar on its own line.
  void Finish();
  void Pause();
  void Resume();
  // The last trace line written, for the closing error message.
  std::string LastLine();

 private:
  void EraseLocked();

  FILE* m_bar;
  FILE* m_traceOut;
  size_t m_width;
  std::mutex m_lock;
  bool m_shown = false;
  bool m_paused = false;
  std::string m_last;
  std::string m_lastTrace;
};
