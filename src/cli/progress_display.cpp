#include "cli/progress_display.h"

#include <algorithm>
#include <cmath>

std::string FormatBytes(uint64_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text,
                value < 10.0    ? "%.2f %s"
                : value < 100.0 ? "%.1f %s"
                                : "%.0f %s",
                value, kUnits[unit]);
  return text;
}

std::string FormatProgressLine(uint32_t done, uint32_t total, double seconds,
                               const std::string& status, size_t width) {
  const double ratio = total == 0 ? 0.0 : std::min(1.0, static_cast<double>(done) / total);
  const int percent = static_cast<int>(std::floor(ratio * 100.0));
  constexpr int kBarCells = 24;
  const int filled = static_cast<int>(std::floor(ratio * kBarCells));
  std::string line = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "]";
  char number[16];
  std::snprintf(number, sizeof number, " %3d%%", percent);
  line += number;
  line += "  " + FormatBytes(done) + " / " + FormatBytes(total);
  if (seconds > 0.0) {
    line += "  " + FormatBytes(static_cast<uint64_t>(done / seconds)) + "/s";
  }
  std::string text = status;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  text = text.substr(0, text.find('\n'));
  if (!text.empty()) line += "  " + text;
  if (line.size() > width) line.resize(width);
  return line;
}

void CProgressDisplay::EraseLocked() {
  if (!m_shown) return;
  std::fputs("\r\033[K", m_bar);
  std::fflush(m_bar);
  m_shown = false;
}

void CProgressDisplay::Line(const std::string& text) {
  std::lock_guard<std::mutex> hold(m_lock);
  EraseLocked();
  m_lastTrace = text;
  std::fwrite(text.data(), 1, text.size(), m_traceOut);
  std::fputc('\n', m_traceOut);
  std::fflush(m_traceOut);
}

void CProgressDisplay::Update(uint32_t done, uint32_t total, double seconds,
                              const std::string& status) {
  if (m_bar == nullptr) return;
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_paused) return;
  // Leave the last column free: a full line would wrap on some terminals.
  m_last = FormatProgressLine(done, total, seconds, status, m_width > 1 ? m_width - 1 : m_width);
  std::fputs("\r\033[K", m_bar);
  std::fputs(m_last.c_str(), m_bar);
  std::fflush(m_bar);
  m_shown = true;
}

void CProgressDisplay::Finish() {
  if (m_bar == nullptr) return;
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_shown) {
    std::fputc('\n', m_bar);
    std::fflush(m_bar);
    m_shown = false;
  }
}

void CProgressDisplay::Pause() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_bar != nullptr) EraseLocked();
  m_paused = true;
}

void CProgressDisplay::Resume() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_paused = false;
}

std::string CProgressDisplay::LastLine() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_lastTrace;
}
