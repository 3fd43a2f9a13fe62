#include "cli/delta_encoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "support/fake_files.h"

namespace {

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

struct CEncoded {
  CResult result;
  std::vector<CDeltaBlock> blocks;
  CDeltaStats stats;
};

CEncoded Encode(const std::string& oldBytes, const std::string& newBytes,
                CDeltaOptions options = CDeltaOptions()) {
  CMemoryFileSystem fs;
  fs.Put("old", oldBytes);
  fs.Put("new", newBytes);
  std::unique_ptr<CReadableFile> oldFile;
  std::unique_ptr<CReadableFile> newFile;
  EXPECT_TRUE(fs.OpenRead("old", &oldFile).ok());
  EXPECT_TRUE(fs.OpenRead("new", &newFile).ok());
  CEncoded e;
  e.result = EncodeDelta(*oldFile, *newFile, options, &e.blocks, &e.stats);
  return e;
}

// What the client does: concatenate the blocks, local ones from the old file (bytes past
// its end are zeros), package ones from the new file's bytes that the package carries.
std::string Rebuild(const std::string& oldBytes, const std::string& newBytes,
                    const std::vector<CDeltaBlock>& blocks) {
  std::string out;
  for (const CDeltaBlock& b : blocks) {
    const std::string& from = b.fromPackage ? newBytes : oldBytes;
    EXPECT_LE(b.offset + b.size, from.size())
        << (b.fromPackage ? "package" : "local") << " block past its file's end";
    if (b.offset + b.size <= from.size()) out.append(from, b.offset, b.size);
  }
  return out;
}

// Checks the rules every encoding keeps; returns the bytes the package would carry.
uint64_t CheckEncoding(const std::string& oldBytes, const std::string& newBytes, const CEncoded& e,
                       const CDeltaOptions& options = CDeltaOptions()) {
  EXPECT_TRUE(e.result.ok()) << e.result.message();
  EXPECT_GE(e.blocks.size(), 2u);
  if (e.blocks.empty()) return 0;
  EXPECT_TRUE(e.blocks[0].fromPackage);
  EXPECT_EQ(e.blocks[0].offset, 0u);
  EXPECT_EQ(e.blocks[0].size, std::min<size_t>(options.headerSize, newBytes.size()));
  uint64_t carried = 0;
  uint64_t nextPackage = 0;
  for (const CDeltaBlock& b : e.blocks) {
    EXPECT_LE(b.size, options.maxBlockSize);
    if (b.fromPackage) {
      // Package blocks take the new file's bytes in order, never twice.
      EXPECT_GE(b.offset, nextPackage);
      nextPackage = b.offset + b.size;
      carried += b.size;
    }
  }
  EXPECT_EQ(carried, e.stats.newBytes);
  EXPECT_EQ(Rebuild(oldBytes, newBytes, e.blocks), newBytes);
  return carried;
}

TEST(DeltaEncoder, EditsCostAboutTheirOwnSize) {
  const std::string base = RandomBytes(200000, 1);
  const std::string fresh = RandomBytes(5000, 2);
  struct Case {
    const char* what;
    std::string oldBytes;
    std::string newBytes;
    uint64_t mostCarried;  // header + true new bytes + a little slack
  } cases[] = {
      {"identical", base, base, 32},
      {"insertion in the middle", base, base.substr(0, 90000) + fresh + base.substr(90000),
       32 + 5000},
      {"deletion", base, base.substr(0, 70000) + base.substr(120000), 32},
      {"substitution of equal length", base, base.substr(0, 50000) + fresh + base.substr(55000),
       32 + 5000},
      {"single byte changed", base, base.substr(0, 123456) + "X" + base.substr(123457), 32 + 1},
      {"stretches moved around", base,
       base.substr(150000) + base.substr(0, 80000) + base.substr(80000, 70000), 32},
      {"appended tail", base, base + fresh, 32 + 5000},
      {"truncated tail", base, base.substr(0, 100000), 32},
      {"two small substitutions 200 bytes apart", base,
       base.substr(0, 60000) + "ab" + base.substr(60002, 200) + "cd" + base.substr(60204), 32 + 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CEncoded e = Encode(c.oldBytes, c.newBytes);
    const uint64_t carried = CheckEncoding(c.oldBytes, c.newBytes, e);
    EXPECT_LE(carried, c.mostCarried);
  }
}

TEST(DeltaEncoder, UnchangedStretchIsOneLocalBlockAtAnyOffset) {
  const std::string base = RandomBytes(100000, 3);
  // The unchanged stretch starts at an odd offset in both files and at different ones.
  const std::string newBytes = RandomBytes(777, 4) + base.substr(12345, 60001) + RandomBytes(99, 5);
  const CEncoded e = Encode(base, newBytes);
  CheckEncoding(base, newBytes, e);
  ASSERT_EQ(e.blocks.size(), 4u);
  EXPECT_EQ(e.blocks[2], (CDeltaBlock{false, 12345, 60001}));
  EXPECT_EQ(e.stats.copiedBytes, 60001u);
}

TEST(DeltaEncoder, EditsAcrossBufferRefillsCostTheirOwnSize) {
  // Larger than the encoder's read buffers, with edits placed around the refill points of
  // both the scan (8 MiB) and the diagonal (64 KiB) buffers.
  const size_t mib = 1 << 20;
  const std::string base = RandomBytes(12 * mib, 20);
  const std::string fresh = RandomBytes(3 * mib, 21);
  const std::string newBytes = base.substr(0, 65530) + "0123456789" + base.substr(65540, 7 * mib) +
                               fresh + base.substr(7 * mib + 70000, 2 * mib) + "x" +
                               base.substr(9 * mib + 70001);
  const CEncoded e = Encode(base, newBytes);
  const uint64_t carried = CheckEncoding(base, newBytes, e);
  EXPECT_LE(carried, 32u + 10 + fresh.size() + 1);
}

TEST(DeltaEncoder, UnrelatedFilesTravelWhole) {
  const std::string oldBytes = RandomBytes(50000, 6);
  const std::string newBytes = RandomBytes(40000, 7);
  const CEncoded e = Encode(oldBytes, newBytes);
  EXPECT_EQ(CheckEncoding(oldBytes, newBytes, e), newBytes.size());
  EXPECT_EQ(e.stats.copiedBytes, 0u);
}

TEST(DeltaEncoder, TinyAndEmptyFilesStayArchiveShaped) {
  struct Case {
    std::string oldBytes;
    std::string newBytes;
  } cases[] = {{"", ""},
               {"", "short"},
               {"old", std::string(32, 'h')},
               {RandomBytes(5000, 8), ""},
               {"", RandomBytes(100, 9)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.newBytes.size());
    const CEncoded e = Encode(c.oldBytes, c.newBytes);
    CheckEncoding(c.oldBytes, c.newBytes, e);
  }
}

TEST(DeltaEncoder, RepetitiveContentRebuildsExactly) {
  // Long runs of one byte and of a short period produce many equal hash windows.
  const std::string oldBytes =
      std::string(30000, '\0') + std::string(30000, 'a') + std::string(20000, '\0');
  std::string pattern;
  for (int i = 0; i < 5000; ++i) pattern += "abc";
  const std::string newBytes = std::string(31000, '\0') + pattern + std::string(25000, 'a');
  const CEncoded e = Encode(oldBytes, newBytes);
  const uint64_t carried = CheckEncoding(oldBytes, newBytes, e);
  EXPECT_LT(carried, pattern.size() + 64);
}

TEST(DeltaEncoder, BlocksNeverExceedTheLimit) {
  const std::string base = RandomBytes(300000, 10);
  const std::string newBytes =
      base.substr(0, 100000) + RandomBytes(70000, 11) + base.substr(100000);
  CDeltaOptions options;
  options.maxBlockSize = 20000;
  const CEncoded e = Encode(base, newBytes, options);
  CheckEncoding(base, newBytes, e, options);
  EXPECT_GT(e.blocks.size(), newBytes.size() / 20000);
}

TEST(DeltaEncoder, AnyWindowSizeGivesTheSameFile) {
  const std::string base = RandomBytes(120000, 12);
  const std::string newBytes =
      base.substr(0, 4000) + RandomBytes(300, 13) + base.substr(3000, 90000);
  for (uint32_t window : {8u, 64u, 1000u, 4096u, 1u << 20}) {
    SCOPED_TRACE(window);
    CDeltaOptions options;
    options.blockSize = window;
    const CEncoded e = Encode(base, newBytes, options);
    CheckEncoding(base, newBytes, e, options);
  }
}

TEST(DeltaEncoder, SameInputSameBlocks) {
  const std::string base = RandomBytes(150000, 14);
  const std::string newBytes = base.substr(20000) + base.substr(0, 20000) + RandomBytes(100, 15);
  EXPECT_EQ(Encode(base, newBytes).blocks, Encode(base, newBytes).blocks);
}

TEST(DeltaEncoder, ReadFailureIsReported) {
  CMemoryFileSystem memory;
  memory.Put("old", RandomBytes(100000, 16));
  memory.Put("new", RandomBytes(100000, 17));
  for (const char* failing : {"old", "new"}) {
    SCOPED_TRACE(failing);
    CFaultFileSystem faults(memory);
    faults.FailPath(CFaultFileSystem::kRead, failing);
    std::unique_ptr<CReadableFile> oldFile;
    std::unique_ptr<CReadableFile> newFile;
    ASSERT_TRUE(faults.OpenRead("old", &oldFile).ok());
    ASSERT_TRUE(faults.OpenRead("new", &newFile).ok());
    std::vector<CDeltaBlock> blocks;
    EXPECT_FALSE(EncodeDelta(*oldFile, *newFile, CDeltaOptions(), &blocks).ok());
  }
}

TEST(DeltaEncoder, WindowGrowsWithTheOldFile) {
  EXPECT_EQ(ChooseDeltaBlockSize(0), 64u);
  EXPECT_EQ(ChooseDeltaBlockSize(64u << 20), 64u);
  EXPECT_EQ(ChooseDeltaBlockSize(256u << 20), 256u);
  EXPECT_EQ(ChooseDeltaBlockSize(uint64_t{4} << 30), 1024u);
}

}  // namespace
