#pragma once

// The one place where the worker leaves what the window shows: the current status text
// (replaced, never appended) and two progress counters in bytes of package data.
// Writers run on the worker thread; readers (through CPatchRun::GetProgress) on the
// user-interface thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class CPatchStatus {
 public:
  CPatchStatus() = default;
  CPatchStatus(const CPatchStatus&) = delete;
  CPatchStatus& operator=(const CPatchStatus&) = delete;

  // Worker thread.
  void SetTotal(uint32_t total) { m_total.store(total, std::memory_order_relaxed); }
  // Adds `count` to done, modulo 2^32. Only the worker writes, so load + store suffices.
  void AddDone(uint32_t count) {
    m_done.store(m_done.load(std::memory_order_relaxed) + count, std::memory_order_relaxed);
  }
  void SetText(std::string text);

  // Any thread. 0.0 before a total is set; done / total in single precision otherwise,
  // not clamped (above 1.0 when done exceeds total).
  float GetRatio() const;
  std::string GetText() const;

  uint32_t Total() const { return m_total.load(std::memory_order_relaxed); }
  uint32_t Done() const { return m_done.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint32_t> m_total{0};
  std::atomic<uint32_t> m_done{0};
  std::string m_text;
  mutable std::mutex m_lock;  // guards m_text
};
