#include "bench_archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "package/coding.h"
#include "package/package_format.h"
#include "verify/md5.h"

namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

class CRandom {
 public:
  explicit CRandom(uint64_t seed) : m_state(seed) {}
  uint64_t Next() { return Mix(m_state++); }
  uint64_t Between(uint64_t lo, uint64_t hi) { return lo + Next() % (hi - lo + 1); }

 private:
  uint64_t m_state;
};

struct Member {
  uint64_t seed;
  uint64_t size;
  bool fromOld = false;    // new archive: copied from the installed archive
  uint64_t oldOffset = 0;  // where, when fromOld
};

constexpr size_t kChunk = 1 << 20;
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordSize = 40;

class CWriter {
 public:
  explicit CWriter(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {
    if (m_file != nullptr) std::setvbuf(m_file, nullptr, _IOFBF, 4 << 20);
  }
  ~CWriter() { Close(); }
  bool ok() const { return m_file != nullptr && m_ok; }
  void Write(const void* data, size_t n) {
    if (m_file != nullptr && std::fwrite(data, 1, n, m_file) != n) m_ok = false;
    m_written += n;
  }
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  // A member's content: 8-byte words derived from its seed and the word's position.
  void WriteContent(uint64_t seed, uint64_t size) {
    std::vector<uint64_t> words(kChunk / 8);
    for (uint64_t done = 0; done < size;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, kChunk));
      const uint64_t first = done / 8;
      for (size_t i = 0; i < (n + 7) / 8; ++i) words[i] = Mix(seed * 0x100000001b3ull + first + i);
      Write(words.data(), n);
      done += n;
    }
  }
  uint64_t written() const { return m_written; }
  bool Close() {
    if (m_file != nullptr) {
      if (std::fclose(m_file) != 0) m_ok = false;
      m_file = nullptr;
    }
    return m_ok;
  }

 private:
  FILE* m_file;
  bool m_ok = true;
  uint64_t m_written = 0;
};

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  EncodeFixed32(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}

std::string Header(char version, uint64_t indexOffset) {
  std::string h(kHeaderSize, '\0');
  std::memcpy(&h[0], "BENCHARC", 8);
  h[8] = version;
  EncodeFixed32(reinterpret_cast<uint8_t*>(&h[20]), static_cast<uint32_t>(indexOffset));
  return h;
}

// Index: head (0, record count, total length), then per member a length and a record.
std::string Index(const std::vector<Member>& members) {
  std::string body;
  uint64_t offset = kHeaderSize;
  for (size_t i = 0; i < members.size(); ++i) {
    char record[kRecordSize] = {};
    const std::string label = "member" + std::to_string(i);
    std::memcpy(record, label.data(), std::min<size_t>(label.size(), 23));
    EncodeFixed32(reinterpret_cast<uint8_t*>(record + 24), static_cast<uint32_t>(offset));
    EncodeFixed32(reinterpret_cast<uint8_t*>(record + 28), static_cast<uint32_t>(offset >> 32));
    EncodeFixed32(reinterpret_cast<uint8_t*>(record + 32), static_cast<uint32_t>(members[i].size));
    EncodeFixed32(reinterpret_cast<uint8_t*>(record + 36), static_cast<uint32_t>(members[i].seed));
    body += U32(kRecordSize) + std::string(record, kRecordSize);
    offset += members[i].size;
  }
  return U32(0) + U32(static_cast<uint32_t>(members.size())) +
         U32(static_cast<uint32_t>(12 + body.size())) + body;
}

uint64_t MemberSize(CRandom& r) {
  const uint64_t kind = r.Next() % 1000;
  if (kind < 850) return r.Between(1 << 10, 32 << 10);
  if (kind < 970) return r.Between(32 << 10, 1 << 20);
  if (kind < 995) return r.Between(1 << 20, 8 << 20);
  return r.Between(8 << 20, 40 << 20);
}

struct Block {
  bool fromPackage;
  uint64_t offset;  // local: in the installed archive
  uint64_t size;
};

}  // namespace

CBenchUpdate GenerateBenchUpdate(uint64_t size, const std::string& oldPath,
                                 const std::string& newPath, const std::string& packagePath,
                                 const std::string& name) {
  CBenchUpdate u;
  CRandom r(20240607);

  // The installed archive's members.
  std::vector<Member> oldMembers;
  uint64_t total = kHeaderSize;
  while (total < size) {
    Member m;
    m.seed = r.Next();
    m.size = std::min<uint64_t>(MemberSize(r), size - total);
    total += m.size;
    oldMembers.push_back(m);
  }
  const std::string oldIndex = Index(oldMembers);

  // The update: a few members changed, a few added, one big one added mid-way.
  const uint64_t bigSize = size >= (512u << 20) ? (110u << 20) : size / 10;
  std::vector<Member> newMembers;
  uint64_t oldOffset = kHeaderSize;
  for (size_t i = 0; i < oldMembers.size(); ++i) {
    Member m = oldMembers[i];
    if (r.Next() % 100 < 3) {
      m.seed = r.Next();
      m.size = std::max<uint64_t>(1, m.size + m.size / 10 - r.Next() % (m.size / 5 + 1));
      ++u.changedMembers;
    } else {
      m.fromOld = true;
      m.oldOffset = oldOffset;
    }
    oldOffset += oldMembers[i].size;
    newMembers.push_back(m);
    if (r.Next() % 100 < 1 || i == oldMembers.size() / 2) {
      Member added;
      added.seed = r.Next();
      added.size = i == oldMembers.size() / 2 ? bigSize : MemberSize(r);
      newMembers.push_back(added);
      ++u.addedMembers;
    }
  }
  const std::string newIndex = Index(newMembers);
  uint64_t newIndexOffset = kHeaderSize;
  for (const Member& m : newMembers) newIndexOffset += m.size;
  const std::string newHeader = Header('2', newIndexOffset);

  // The block table: the header, one local block per unchanged member, and package
  // blocks for everything new, neighbours merged (block 0 stays the bare header).
  std::vector<Block> blocks{{true, 0, kHeaderSize}};
  auto addPackage = [&](uint64_t n) {
    if (blocks.size() > 1 && blocks.back().fromPackage) {
      blocks.back().size += n;
    } else {
      blocks.push_back({true, 0, n});
    }
  };
  for (const Member& m : newMembers) {
    if (m.fromOld) {
      blocks.push_back({false, m.oldOffset, m.size});
    } else {
      addPackage(m.size);
    }
  }
  addPackage(newIndex.size());
  uint64_t dataSize = 0;
  u.smallestLocal = UINT64_MAX;
  for (const Block& b : blocks) {
    if (b.fromPackage) {
      dataSize += b.size;
      ++u.packageBlocks;
      u.largestPackageBlock = std::max(u.largestPackageBlock, b.size);
    } else {
      ++u.localBlocks;
      u.smallestLocal = std::min(u.smallestLocal, b.size);
      u.largestLocal = std::max(u.largestLocal, b.size);
    }
  }

  // The installed archive.
  CWriter old(oldPath);
  old.Write(Header('1', total));
  for (const Member& m : oldMembers) old.WriteContent(m.seed, m.size);
  old.Write(oldIndex);
  u.oldSize = old.written();
  if (!old.Close()) return u;

  // The expected new archive.
  CWriter fresh(newPath);
  fresh.Write(newHeader);
  for (const Member& m : newMembers) fresh.WriteContent(m.seed, m.size);
  fresh.Write(newIndex);
  u.newSize = fresh.written();
  if (!fresh.Close()) return u;

  // The package: entry count, record, block table, data area.
  CWriter package(packagePath);
  uint8_t buffer[kEntryRecordSize];
  EncodeFixed32(buffer, 1);
  package.Write(buffer, kEntryCountSize);
  EncodeEntryRecord(buffer, name, DigestBytes(oldIndex.data(), oldIndex.size()),
                    DigestBytes(newIndex.data(), newIndex.size()), static_cast<uint32_t>(dataSize),
                    static_cast<uint32_t>(blocks.size()));
  package.Write(buffer, kEntryRecordSize);
  uint64_t cursor = kEntryCountSize + kEntryRecordSize + kBlockSize * blocks.size();
  for (const Block& b : blocks) {
    EncodeBlock(buffer, b.fromPackage, static_cast<uint32_t>(b.fromPackage ? cursor : b.offset),
                static_cast<uint32_t>(b.size));
    if (b.fromPackage) cursor += b.size;
    package.Write(buffer, kBlockSize);
  }
  package.Write(newHeader);
  for (const Member& m : newMembers) {
    if (!m.fromOld) package.WriteContent(m.seed, m.size);
  }
  package.Write(newIndex);
  u.packageSize = package.written();
  u.oldMembers = static_cast<uint32_t>(oldMembers.size());
  u.ok = package.Close() && u.packageSize == cursor;
  return u;
}
