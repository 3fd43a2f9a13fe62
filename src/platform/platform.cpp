#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

CResult CWritableFile::AppendFrom(CReadableFile& source, uint64_t offset, uint64_t n,
                                  uint64_t* copied) {
  // Bounded buffer: memory use does not grow with n.
  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(n, kChunk)));
  *copied = 0;
  while (*copied < n) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n - *copied, buffer.size()));
    const int64_t got = source.ReadAt(offset + *copied, buffer.data(), want);
    if (got < 0) return CResult::Error(0, "read error");
    if (got == 0) break;
    CResult r = Append(buffer.data(), static_cast<size_t>(got));
    if (!r.ok()) return r;
    *copied += static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) < want) break;
  }
  return CResult::Ok();
}

namespace {

class StdoutTrace : public CTrace {
 public:
  void Line(const std::string& text) override {
    std::lock_guard<std::mutex> hold(m_lock);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

 private:
  std::mutex m_lock;
};

}  // namespace

CTrace* DefaultTrace() {
  static StdoutTrace trace;
  return &trace;
}
