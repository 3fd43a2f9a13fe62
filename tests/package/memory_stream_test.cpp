#include "package/memory_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "package/package_walk.h"
#include "support/test_package.h"

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

}  // namespace

TEST(MemoryStream, ReadsInPlaceAndAdvances) {
  const auto data = Bytes(16);
  CMemoryInputStream in(data.data(), data.size());
  EXPECT_EQ(in.Base(), data.data());
  char buf[4];
  ASSERT_TRUE(in.read(buf, 4));
  EXPECT_EQ(buf[3], 3);
  EXPECT_EQ(in.tellg(), 4);
  in.seekg(10);
  ASSERT_TRUE(in.read(buf, 2));
  EXPECT_EQ(buf[0], 10);
  EXPECT_EQ(in.tellg(), 12);
}

TEST(MemoryStream, ShortReadCopiesWhatRemainsAndFails) {
  const auto data = Bytes(10);
  CMemoryInputStream in(data.data(), data.size());
  in.seekg(7);
  char buf[8] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
  in.read(buf, 8);
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(in.gcount(), 3);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[2], 9);
  EXPECT_EQ(buf[3], 0x55);  // past what remained: untouched
}

TEST(MemoryStream, FailedStreamCopiesNothingAndIgnoresSeeks) {
  const auto data = Bytes(10);
  CMemoryInputStream in(data.data(), data.size());
  char buf[16];
  in.read(buf, 16);
  ASSERT_TRUE(in.fail());
  char untouched[4] = {42, 42, 42, 42};
  in.seekg(0);
  in.read(untouched, 4);
  EXPECT_EQ(untouched[0], 42);
  EXPECT_EQ(in.gcount(), 0);
}

TEST(MemoryStream, SeekToTheEndThenReadFails) {
  const auto data = Bytes(1200);
  CMemoryInputStream in(data.data(), data.size());
  in.seekg(1200);
  EXPECT_FALSE(in.fail());
  char record[1100];
  in.read(record, sizeof record);
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(in.gcount(), 0);
}

TEST(MemoryStream, SeekPastTheEndFails) {
  const auto data = Bytes(8);
  CMemoryInputStream in(data.data(), data.size());
  in.seekg(9);
  EXPECT_TRUE(in.fail());
}

TEST(MemoryStream, SeekClearsEndOfData) {
  const auto data = Bytes(8);
  CMemoryInputStream in(data.data(), data.size());
  char buf[8];
  ASSERT_TRUE(in.read(buf, 8));
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof());  // sets eofbit only
  ASSERT_TRUE(in.eof());
  in.seekg(2);
  EXPECT_FALSE(in.eof());
  EXPECT_FALSE(in.fail());
  ASSERT_TRUE(in.read(buf, 1));
  EXPECT_EQ(buf[0], 2);
}

TEST(MemoryStream, LengthIsCappedAt2GiBMinusOne) {
  // Only positions are checked; nothing beyond the real bytes is read.
  const auto data = Bytes(4);
  CMemoryInputStream in(data.data(), UINT64_C(1) << 32);
  in.seekg(0, std::ios::end);
  EXPECT_EQ(static_cast<int64_t>(in.tellg()), 2147483647);
}

TEST(MemoryStream, TwoCursorsOverOneBlockKeepSeparatePositions) {
  const auto data = Bytes(32);
  CMemoryInputStream a(data.data(), data.size());
  CMemoryInputStream b(data.data(), data.size());
  char buf[4];
  a.read(buf, 4);
  a.read(buf, 4);
  b.read(buf, 1);
  EXPECT_EQ(a.tellg(), 8);
  EXPECT_EQ(b.tellg(), 1);
  EXPECT_EQ(buf[0], 0);
}

TEST(PackageWalk, SkipReadsRecordAndBlockZeroThenJumpsToTheNextRecord) {
  std::vector<TestEntry> entries(3);
  entries[0].name = "a.pkg";
  entries[0].blocks = {TestBlock::Package("HEADER"), TestBlock::Local(0, 100),
                       TestBlock::Package("tail bytes")};
  entries[1].name = "b.pkg";
  entries[1].blocks.push_back(TestBlock::Package("x"));
  for (int i = 0; i < 5000; ++i) entries[1].blocks.push_back(TestBlock::Local(i, 1));
  entries[2].name = "c.txt";
  entries[2].blocks = {TestBlock::Package("zip")};
  const CTestPackage p = BuildTestPackage(entries);

  CMemoryInputStream in(p.bytes.data(), p.bytes.size());
  uint32_t count = 0;
  ASSERT_TRUE(ReadEntryCount(in, &count));
  EXPECT_EQ(count, 3u);
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(static_cast<uint64_t>(in.tellg()), p.recordOffsets[i]);
    PatchEntryRecord record;
    PatchBlock block;
    ASSERT_TRUE(ReadEntryRecord(in, &record));
    EXPECT_EQ(RecordName(record), entries[i].name);
    ASSERT_TRUE(SkipEntryRest(in, record, &block));
    EXPECT_EQ(block.offset, p.dataOffsets[i]);  // block 0 starts the data area
  }
  // The last entry ends exactly at the package's end: nothing more to read.
  EXPECT_EQ(static_cast<uint64_t>(in.tellg()), p.bytes.size());
  PatchEntryRecord extra;
  EXPECT_FALSE(ReadEntryRecord(in, &extra));
}

TEST(PackageWalk, RecordsMayStartAtAnyOffset) {
  // Odd-sized data areas put every later record at an odd offset.
  std::vector<TestEntry> entries(2);
  entries[0].name = "odd.pkg";
  entries[0].blocks = {TestBlock::Package(std::string(187, 'q'))};
  entries[1].name = "next.pkg";
  entries[1].blocks = {TestBlock::Package("abc")};
  const CTestPackage p = BuildTestPackage(entries);
  ASSERT_NE(p.recordOffsets[1] % 4, 0u);

  CMemoryInputStream in(p.bytes.data(), p.bytes.size());
  uint32_t count;
  PatchEntryRecord record;
  PatchBlock block;
  ASSERT_TRUE(ReadEntryCount(in, &count));
  ASSERT_TRUE(ReadEntryRecord(in, &record));
  ASSERT_TRUE(SkipEntryRest(in, record, &block));
  ASSERT_TRUE(ReadEntryRecord(in, &record));
  EXPECT_EQ(RecordName(record), "next.pkg");
  EXPECT_EQ(record.dataSize, 3u);
}
