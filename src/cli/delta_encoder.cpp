#include "cli/delta_encoder.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;  // odd: every power is invertible
constexpr uint32_t kNoBlock = 0xFFFFFFFFu;
constexpr uint64_t kLocalOffsetLimit = 0xFFFFFFFFull;  // a local block's offset is a u32

// The rolling hash: h = sum over the window of T[byte] * M^(distance to the window's end),
// modulo 2^64. The byte table spreads every byte value over all 64 bits; the high bits of
// h are the best mixed and are the ones used for table slots.
class CRollingHash {
 public:
  explicit CRollingHash(uint32_t window) : m_window(window) {
    uint64_t seed = 0x6D72706174636831ull;  // fixed: the encoder is deterministic
    for (uint64_t& t : m_byte) {
      // splitmix64
      seed += 0x9E3779B97F4A7C15ull;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      t = z ^ (z >> 31);
    }
    m_pow[7] = 1;
    for (int i = 6; i >= 0; --i) m_pow[i] = m_pow[i + 1] * kMultiplier;
    m_pow8 = m_pow[0] * kMultiplier;
    m_powWindow = 1;
    for (uint32_t i = 0; i < window; ++i) m_powWindow *= kMultiplier;
  }

  // Hash of `m_window` bytes at `p` (the window is a multiple of 8). Eight independent
  // products per step keep the multiplier busy instead of waiting on one long chain.
  uint64_t Window(const uint8_t* p) const {
    uint64_t h = 0;
    for (uint32_t i = 0; i < m_window; i += 8, p += 8) {
      const uint64_t g = m_byte[p[0]] * m_pow[0] + m_byte[p[1]] * m_pow[1] +
                         m_byte[p[2]] * m_pow[2] + m_byte[p[3]] * m_pow[3] +
                         m_byte[p[4]] * m_pow[4] + m_byte[p[5]] * m_pow[5] +
                         m_byte[p[6]] * m_pow[6] + m_byte[p[7]];
      h = h * m_pow8 + g;
    }
    return h;
  }

  // Moves the window one byte on: `out` leaves at the front, `in` enters at the back.
  uint64_t Roll(uint64_t h, uint8_t out, uint8_t in) const {
    return h * kMultiplier - m_byte[out] * m_powWindow + m_byte[in];
  }

 private:
  uint32_t m_window;
  uint64_t m_byte[256];
  uint64_t m_pow[8];
  uint64_t m_pow8 = 0;
  uint64_t m_powWindow = 0;
};

// A bounded view of a file: one buffer that is refilled around the requested offset.
class CFileWindow {
 public:
  CFileWindow(CReadableFile& file, uint64_t size, size_t capacity)
      : m_file(file), m_size(size), m_buffer(capacity) {}

  // Pointer to [offset, offset + n), or null when that range passes the end of the file
  // or cannot be read (then failed() is set). A refill keeps up to `back` bytes before
  // `offset` in the buffer. n + back must not exceed the capacity.
  const uint8_t* Get(uint64_t offset, size_t n, size_t back = 0) {
    if (offset >= m_base && offset + n <= m_base + m_length) {
      return m_buffer.data() + (offset - m_base);
    }
    if (offset + n > m_size || !Load(offset, back)) return nullptr;
    return m_buffer.data() + (offset - m_base);
  }

  // Pointer to at least one byte at `offset` and at most `want`; `*got` says how many.
  const uint8_t* Span(uint64_t offset, size_t want, size_t* got) {
    want = static_cast<size_t>(std::min<uint64_t>(want, m_size - std::min(m_size, offset)));
    *got = 0;
    if (want == 0) return nullptr;
    const bool loaded = offset >= m_base && offset < m_base + m_length;
    if (!loaded || (m_base + m_length - offset < want && m_base + m_length < m_size)) {
      if (!Load(offset, 0)) return nullptr;
    }
    *got = static_cast<size_t>(std::min<uint64_t>(want, m_base + m_length - offset));
    return m_buffer.data() + (offset - m_base);
  }

  // Bytes held from `offset` on without a refill (0 when `offset` is not held).
  size_t Available(uint64_t offset) const {
    if (offset < m_base || offset >= m_base + m_length) return 0;
    return static_cast<size_t>(m_base + m_length - offset);
  }

  bool failed() const { return m_failed; }

 private:
  bool Load(uint64_t offset, size_t back) {
    m_base = offset - std::min<uint64_t>(back, offset);
    const size_t length = static_cast<size_t>(std::min<uint64_t>(m_buffer.size(), m_size - m_base));
    const int64_t read = m_file.ReadAt(m_base, m_buffer.data(), length);
    if (read != static_cast<int64_t>(length)) {
      m_failed = true;
      m_length = 0;
      return false;
    }
    m_length = length;
    return true;
  }

  CReadableFile& m_file;
  uint64_t m_size;
  std::vector<uint8_t> m_buffer;
  uint64_t m_base = 0;
  uint64_t m_length = 0;
  bool m_failed = false;
};

// Length of the common prefix of a and b (n bytes each).
size_t CommonPrefix(const uint8_t* a, const uint8_t* b, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return i + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Length of the common suffix of a and b (n bytes each).
size_t CommonSuffix(const uint8_t* a, const uint8_t* b, size_t n) {
  size_t i = 0;
  while (i < n && a[n - 1 - i] == b[n - 1 - i]) ++i;
  return i;
}

// The old file's windows: an open-addressing table from hash to window number, and a bit
// filter in front of it that is small enough to stay in the cache, so that the common
// case of a literal byte costs one bit test rather than a random memory access.
class CWindowTable {
 public:
  explicit CWindowTable(uint64_t windows) {
    int slotBits = 4;
    while ((uint64_t{1} << slotBits) < windows * 2) ++slotBits;
    int filterBits = 16;
    while ((uint64_t{1} << filterBits) < windows * 64) ++filterBits;
    m_slotShift = 64 - slotBits;
    m_filterShift = 64 - filterBits;
    m_hashes.assign(size_t{1} << slotBits, 0);
    m_windows.assign(size_t{1} << slotBits, kNoBlock);
    m_filter.assign((size_t{1} << filterBits) / 64, 0);
  }

  // Keeps the first window seen for each hash.
  void Insert(uint64_t hash, uint32_t window) {
    const uint64_t f = hash >> m_filterShift;
    m_filter[f >> 6] |= uint64_t{1} << (f & 63);
    const size_t mask = m_hashes.size() - 1;
    for (size_t s = hash >> m_slotShift;; s = (s + 1) & mask) {
      if (m_windows[s] == kNoBlock) {
        m_hashes[s] = hash;
        m_windows[s] = window;
        ++m_entries;
        return;
      }
      if (m_hashes[s] == hash) return;
    }
  }

  // False when no window can have this hash; true means "look it up".
  bool MayContain(uint64_t hash) const {
    const uint64_t f = hash >> m_filterShift;
    return (m_filter[f >> 6] & (uint64_t{1} << (f & 63))) != 0;
  }

  uint32_t Find(uint64_t hash) const {
    if (!MayContain(hash)) return kNoBlock;
    const size_t mask = m_hashes.size() - 1;
    for (size_t s = hash >> m_slotShift;; s = (s + 1) & mask) {
      if (m_windows[s] == kNoBlock) return kNoBlock;
      if (m_hashes[s] == hash) return m_windows[s];
    }
  }

  uint64_t entries() const { return m_entries; }

 private:
  int m_slotShift = 0;
  int m_filterShift = 0;
  std::vector<uint64_t> m_hashes;
  std::vector<uint32_t> m_windows;
  std::vector<uint64_t> m_filter;
  uint64_t m_entries = 0;
};

class CEncoder {
 public:
  CEncoder(CReadableFile& oldFile, uint64_t oldSize, CReadableFile& newFile, uint64_t newSize,
           const CDeltaOptions& options, uint32_t window)
      : m_options(options),
        m_window(window),
        m_oldSize(oldSize),
        m_newSize(newSize),
        m_oldLimit(std::min(oldSize, kLocalOffsetLimit)),
        m_hash(window),
        m_table(m_oldLimit / window),
        m_newScan(newFile, newSize, kScanBuffer),
        m_newBack(newFile, newSize, kSmallBuffer),
        m_oldMatch(oldFile, oldSize, kMatchBuffer),
        m_oldDiagonal(oldFile, oldSize, kSmallBuffer),
        m_oldBack(oldFile, oldSize, kSmallBuffer),
        m_oldFile(oldFile) {}

  CResult Run(std::vector<CDeltaBlock>* blocks, CDeltaStats* stats);

 private:
  static constexpr size_t kScanBuffer = 8u << 20;
  static constexpr size_t kMatchBuffer = 1u << 20;
  static constexpr size_t kSmallBuffer = 64u << 10;
  static constexpr size_t kStep = 32u << 10;

  bool IndexOldFile();
  bool Scan();
  // Looks for a stretch of the old file equal to the new file at `p`. On success sets the
  // old offset and a confirmed length.
  bool FindMatch(uint64_t p, bool haveHash, uint64_t hash, uint64_t* oldOffset, uint64_t* length);
  // Rolls the hash over new bytes at which neither the diagonal nor the table can offer a
  // match, as far as the buffers reach without a refill; stops at the first byte where
  // one might (FindMatch decides). This is the loop every literal byte goes through.
  void SkipLiterals(uint64_t* p, uint64_t* hash);
  void Extend(uint64_t* newStart, uint64_t* oldStart, uint64_t* newEnd, uint64_t* oldEnd,
              uint64_t floor);
  void EmitPackage(uint64_t from, uint64_t to);
  void EmitLocal(uint64_t oldOffset, uint64_t length);
  bool Failed() const {
    return m_newScan.failed() || m_newBack.failed() || m_oldMatch.failed() ||
           m_oldDiagonal.failed() || m_oldBack.failed();
  }

  const CDeltaOptions& m_options;
  const uint32_t m_window;
  const uint64_t m_oldSize;
  const uint64_t m_newSize;
  const uint64_t m_oldLimit;
  CRollingHash m_hash;
  CWindowTable m_table;
  CFileWindow m_newScan;
  CFileWindow m_newBack;
  CFileWindow m_oldMatch;
  CFileWindow m_oldDiagonal;
  CFileWindow m_oldBack;
  CReadableFile& m_oldFile;
  int64_t m_diagonal = 0;  // old offset minus new offset of the last match
  std::vector<CDeltaBlock> m_blocks;
  uint64_t m_newBytes = 0;
  uint64_t m_copiedBytes = 0;
};

bool CEncoder::IndexOldFile() {
  const uint64_t windows = m_oldLimit / m_window;
  const uint64_t perChunk = kScanBuffer / m_window;
  // Its buffer is released before the scan needs its own.
  CFileWindow oldIndex(m_oldFile, m_oldSize, kScanBuffer);
  for (uint64_t w = 0; w < windows; w += perChunk) {
    const uint64_t count = std::min(perChunk, windows - w);
    const uint8_t* p = oldIndex.Get(w * m_window, static_cast<size_t>(count * m_window));
    if (p == nullptr) return false;
    for (uint64_t i = 0; i < count; ++i) {
      m_table.Insert(m_hash.Window(p + i * m_window), static_cast<uint32_t>(w + i));
    }
  }
  return true;
}

bool CEncoder::FindMatch(uint64_t p, bool haveHash, uint64_t hash, uint64_t* oldOffset,
                         uint64_t* length) {
  const uint32_t minMatch = m_options.minMatch;
  // The diagonal of the previous match first: after a substitution the old file usually
  // goes on where the new one does.
  const int64_t o = static_cast<int64_t>(p) + m_diagonal;
  if (o >= 0 && static_cast<uint64_t>(o) + minMatch <= m_oldLimit && p + minMatch <= m_newSize) {
    const uint8_t* n = m_newScan.Get(p, minMatch, m_window);
    const uint8_t* d = m_oldDiagonal.Get(static_cast<uint64_t>(o), minMatch);
    uint64_t x = 0;
    uint64_t y = 0;
    if (n != nullptr && d != nullptr) {
      std::memcpy(&x, n, 8);
      std::memcpy(&y, d, 8);
    }
    if (n != nullptr && d != nullptr && x == y && std::memcmp(n + 8, d + 8, minMatch - 8) == 0) {
      *oldOffset = static_cast<uint64_t>(o);
      *length = minMatch;
      return true;
    }
  }
  if (!haveHash) return false;
  const uint32_t w = m_table.Find(hash);
  if (w == kNoBlock) return false;
  const uint64_t candidate = uint64_t{w} * m_window;
  const uint8_t* n = m_newScan.Get(p, m_window, m_window);
  const uint8_t* c = m_oldMatch.Get(candidate, m_window);
  if (n == nullptr || c == nullptr || std::memcmp(n, c, m_window) != 0) return false;
  *oldOffset = candidate;
  *length = m_window;
  return true;
}

void CEncoder::SkipLiterals(uint64_t* p, uint64_t* hash) {
  if (*p + m_window >= m_newSize) return;
  const uint8_t* n = m_newScan.Get(*p, m_window + 1, m_window);
  if (n == nullptr) return;
  // Positions whose outgoing and incoming bytes are both in the buffer.
  uint64_t run = std::min<uint64_t>(m_newScan.Available(*p) - m_window, m_newSize - *p - m_window);
  const int64_t o = static_cast<int64_t>(*p) + m_diagonal;
  const uint8_t* d = nullptr;
  if (o < 0) {
    run = std::min<uint64_t>(run, static_cast<uint64_t>(-o));  // the diagonal starts later
  } else if (static_cast<uint64_t>(o) + m_options.minMatch <= m_oldLimit) {
    d = m_oldDiagonal.Get(static_cast<uint64_t>(o), 8);
    if (d == nullptr) return;
    const uint64_t held = m_oldDiagonal.Available(static_cast<uint64_t>(o)) - 7;
    run = std::min<uint64_t>(
        {run, held, m_oldLimit - m_options.minMatch - static_cast<uint64_t>(o) + 1});
  }
  uint64_t h = *hash;
  uint64_t i = 0;
  for (; i < run; ++i) {
    if (d != nullptr) {
      uint64_t x;
      uint64_t y;
      std::memcpy(&x, n + i, 8);
      std::memcpy(&y, d + i, 8);
      if (x == y) break;
    }
    if (m_table.MayContain(h)) break;
    h = m_hash.Roll(h, n[i], n[i + m_window]);
  }
  *p += i;
  *hash = h;
}

void CEncoder::Extend(uint64_t* newStart, uint64_t* oldStart, uint64_t* newEnd, uint64_t* oldEnd,
                      uint64_t floor) {
  // Backwards, never into what is already emitted.
  while (*newStart > floor && *oldStart > 0) {
    const size_t k = static_cast<size_t>(std::min<uint64_t>({kStep, *newStart - floor, *oldStart}));
    const uint8_t* a = m_newBack.Get(*newStart - k, k);
    const uint8_t* b = m_oldBack.Get(*oldStart - k, k);
    if (a == nullptr || b == nullptr) break;
    const size_t same = CommonSuffix(a, b, k);
    *newStart -= same;
    *oldStart -= same;
    if (same < k) break;
  }
  // Forwards, as far as both files agree.
  while (*newEnd < m_newSize && *oldEnd < m_oldLimit) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kMatchBuffer, m_oldLimit - *oldEnd));
    size_t gotA = 0;
    size_t gotB = 0;
    const uint8_t* a = m_newScan.Span(*newEnd, want, &gotA);
    const uint8_t* b = m_oldMatch.Span(*oldEnd, want, &gotB);
    if (a == nullptr || b == nullptr) break;
    const size_t n = std::min(gotA, gotB);
    const size_t same = CommonPrefix(a, b, n);
    *newEnd += same;
    *oldEnd += same;
    if (same < n) break;
  }
}

void CEncoder::EmitPackage(uint64_t from, uint64_t to) {
  m_newBytes += to - from;
  while (from < to) {
    const uint32_t size =
        static_cast<uint32_t>(std::min<uint64_t>(to - from, m_options.maxBlockSize));
    m_blocks.push_back(CDeltaBlock{true, from, size});
    from += size;
  }
}

void CEncoder::EmitLocal(uint64_t oldOffset, uint64_t length) {
  m_copiedBytes += length;
  while (length > 0) {
    CDeltaBlock* last = m_blocks.size() > 1 ? &m_blocks.back() : nullptr;
    if (last != nullptr && !last->fromPackage && last->offset + last->size == oldOffset &&
        last->size < m_options.maxBlockSize) {
      const uint32_t add =
          static_cast<uint32_t>(std::min<uint64_t>(length, m_options.maxBlockSize - last->size));
      last->size += add;
      oldOffset += add;
      length -= add;
      continue;
    }
    const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(length, m_options.maxBlockSize));
    m_blocks.push_back(CDeltaBlock{false, oldOffset, size});
    oldOffset += size;
    length -= size;
  }
}

bool CEncoder::Scan() {
  const uint64_t header = std::min<uint64_t>(m_options.headerSize, m_newSize);
  // Block 0 is the header, even when the new file is empty.
  m_blocks.push_back(CDeltaBlock{true, 0, static_cast<uint32_t>(header)});
  m_newBytes += header;
  uint64_t literalStart = header;
  uint64_t p = header;
  bool haveHash = false;
  uint64_t hash = 0;
  while (p < m_newSize) {
    const bool fullWindow = p + m_window <= m_newSize && m_table.entries() > 0;
    if (fullWindow && !haveHash) {
      const uint8_t* w = m_newScan.Get(p, m_window, m_window);
      if (w == nullptr) return false;
      hash = m_hash.Window(w);
      haveHash = true;
    }
    if (haveHash) SkipLiterals(&p, &hash);
    uint64_t oldOffset = 0;
    uint64_t length = 0;
    if (FindMatch(p, haveHash, hash, &oldOffset, &length)) {
      uint64_t newStart = p;
      uint64_t oldStart = oldOffset;
      uint64_t newEnd = p + length;
      uint64_t oldEnd = oldOffset + length;
      Extend(&newStart, &oldStart, &newEnd, &oldEnd, literalStart);
      EmitPackage(literalStart, newStart);
      EmitLocal(oldStart, newEnd - newStart);
      m_diagonal = static_cast<int64_t>(oldEnd) - static_cast<int64_t>(newEnd);
      literalStart = p = newEnd;
      haveHash = false;
      continue;
    }
    if (haveHash && p + m_window < m_newSize) {
      const uint8_t* w = m_newScan.Get(p, m_window + 1, m_window);
      if (w == nullptr) return false;
      hash = m_hash.Roll(hash, w[0], w[m_window]);
    } else {
      haveHash = false;
    }
    ++p;
  }
  EmitPackage(literalStart, m_newSize);
  return !Failed();
}

CResult CEncoder::Run(std::vector<CDeltaBlock>* blocks, CDeltaStats* stats) {
  if (!IndexOldFile()) return CResult::Error(5, "cannot read the old file");
  if (!Scan()) return CResult::Error(5, "cannot read the new file or the old file");
  // The client treats an entry with a single block as a plain file: keep two.
  if (m_blocks.size() < 2) m_blocks.push_back(CDeltaBlock{false, 0, 0});
  if (stats != nullptr) {
    stats->newBytes = m_newBytes;
    stats->copiedBytes = m_copiedBytes;
    stats->blockSize = m_window;
    stats->tableEntries = m_table.entries();
  }
  *blocks = std::move(m_blocks);
  return CResult::Ok();
}

}  // namespace

uint32_t ChooseDeltaBlockSize(uint64_t oldSize) {
  uint32_t size = 64;
  while (size < 1024 && oldSize / size > (uint64_t{1} << 20)) size *= 2;
  return size;
}

CResult EncodeDelta(CReadableFile& oldFile, CReadableFile& newFile, const CDeltaOptions& options,
                    std::vector<CDeltaBlock>* blocks, CDeltaStats* stats) {
  const int64_t oldSize = oldFile.Size();
  const int64_t newSize = newFile.Size();
  if (oldSize < 0) return CResult::Error(5, "cannot tell the size of the old file");
  if (newSize < 0) return CResult::Error(5, "cannot tell the size of the new file");
  uint32_t window = options.blockSize != 0 ? options.blockSize
                                           : ChooseDeltaBlockSize(static_cast<uint64_t>(oldSize));
  window = std::max<uint32_t>(8, window / 8 * 8);
  if (window > (1u << 20)) window = 1u << 20;
  CDeltaOptions checked = options;
  checked.minMatch = std::max<uint32_t>(checked.minMatch, 8);
  checked.maxBlockSize = std::max<uint32_t>(checked.maxBlockSize, 1);
  CEncoder encoder(oldFile, static_cast<uint64_t>(oldSize), newFile, static_cast<uint64_t>(newSize),
                   checked, window);
  return encoder.Run(blocks, stats);
}
