#include "run/patch_status.h"

void CPatchStatus::SetText(std::string text) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_text.swap(text);
  // The old text is freed outside the lock, when `text` goes out of scope.
}

float CPatchStatus::GetRatio() const {
  const uint32_t total = m_total.load(std::memory_order_relaxed);
  if (total == 0) return 0.0f;
  const uint32_t done = m_done.load(std::memory_order_relaxed);
  // Each counter converted exactly to double, rounded to float, then divided in float.
  const float d = static_cast<float>(static_cast<double>(done));
  const float t = static_cast<float>(static_cast<double>(total));
  return d / t;
}

std::string CPatchStatus::GetText() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_text;
}
