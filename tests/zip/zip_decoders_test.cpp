// The stored and inflate decoders, driven through CZipFileReader's OpenEntry, Read and
// CloseEntry.

#include "zip/zip_decoders.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "support/fake_files.h"
#include "zip/zip_fixtures.h"
#include "zip/zip_reader.h"

namespace {

const std::string kArchive = "/archive.zip";

class DecoderTest : public ::testing::Test {
 protected:
  DecoderTest() : faults(files), reader(faults) {}

  void OpenBytes(const std::string& bytes) {
    files.Put(kArchive, bytes);
    ASSERT_TRUE(reader.Open(kArchive)) << reader.Error();
  }
  void OpenFixture(const char* name) { OpenBytes(LoadFixture(name)); }
  // The fixture with one field of the central record of entry `index` changed.
  void OpenWithCentralField(const char* fixture, int index, size_t field, uint32_t value) {
    std::string bytes = LoadFixture(fixture);
    SetU32(bytes, CentralRecordAt(bytes, index) + field, value);
    OpenBytes(bytes);
  }
  bool ErrorSays(const std::string& part) const {
    return reader.Error().find(part) != std::string::npos;
  }

  CMemoryFileSystem files;
  CFaultFileSystem faults;
  CZipFileReader reader;
};

const std::string& BigContent() {
  static const std::string content = FixtureText(17000) + FixtureNoise(5, 18000);
  return content;
}

TEST_F(DecoderTest, ChunksOf10240ThreeTimesThenTheRemainderThenZero) {
  // big.bin's compressed data is larger than one input window; text.txt's is not.
  struct Entry {
    const char* fixture;
    const char* name;
    std::string content;
  };
  for (const Entry& e : {Entry{"python_mixed.zip", "big.bin", BigContent()},
                         Entry{"infozip_mixed.zip", "text.txt", FixtureText(35000)}}) {
    SCOPED_TRACE(e.name);
    OpenFixture(e.fixture);
    ASSERT_TRUE(reader.OpenEntry(e.name));
    std::vector<int32_t> results;
    EXPECT_TRUE(ReadToEnd(reader, 10240, &results) == e.content);
    EXPECT_EQ(results, (std::vector<int32_t>{10240, 10240, 10240, 4280, 0}));
    EXPECT_EQ(reader.Read(nullptr, 10240), 0);  // still exhausted, still open
    EXPECT_TRUE(reader.CloseEntry()) << reader.Error();
  }
}

TEST_F(DecoderTest, AnyReadSizeDeliversTheSameBytes) {
  OpenFixture("python_mixed.zip");
  for (const char* name : {"big.bin", "stored.bin"}) {
    const std::string expected =
        name == std::string("big.bin") ? BigContent() : FixtureNoise(4, 3000);
    for (int32_t chunk : {1, 7, 4096, 16383, 16384, 16385, 100000}) {
      SCOPED_TRACE(std::string(name) + " in reads of " + std::to_string(chunk));
      ASSERT_TRUE(reader.OpenEntry(name));
      EXPECT_TRUE(ReadToEnd(reader, chunk) == expected);
      EXPECT_TRUE(reader.CloseEntry());
    }
  }
}

TEST_F(DecoderTest, EmptyEntries) {
  OpenFixture("infozip_mixed.zip");  // empty.dat is stored
  ASSERT_TRUE(reader.OpenEntry("empty.dat"));
  char c;
  EXPECT_EQ(reader.Read(&c, 1), 0);
  EXPECT_TRUE(reader.CloseEntry());

  OpenFixture("python_mixed.zip");  // empty.txt is deflated (two bytes of deflate data)
  ASSERT_EQ(reader.FindEntry("empty.txt")->method, 8u);
  ASSERT_TRUE(reader.OpenEntry("empty.txt"));
  EXPECT_EQ(reader.Read(&c, 1), 0);
  EXPECT_TRUE(reader.CloseEntry());
}

TEST_F(DecoderTest, ReadOfZeroBytes) {
  OpenFixture("python_mixed.zip");
  char c;
  // Deflated: a failure, which closes the entry.
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  EXPECT_EQ(reader.Read(&c, 0), -1);
  EXPECT_EQ(reader.Read(&c, 1), 0);
  EXPECT_FALSE(reader.CloseEntry());
  // Stored: nothing delivered, the entry stays open and intact.
  ASSERT_TRUE(reader.OpenEntry("stored.bin"));
  EXPECT_EQ(reader.Read(&c, 0), 0);
  EXPECT_TRUE(ReadToEnd(reader, 1000) == FixtureNoise(4, 3000));
  EXPECT_TRUE(reader.CloseEntry());
}

TEST_F(DecoderTest, CorruptDeflateDataFailsAndClosesTheEntry) {
  OpenFixture("bad_deflate.zip");
  ASSERT_TRUE(reader.OpenEntry("data.txt"));
  char buffer[100];
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), -1);
  EXPECT_TRUE(ErrorSays("corrupt")) << reader.Error();
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 0);
  EXPECT_FALSE(reader.CloseEntry());
}

TEST_F(DecoderTest, WrongCrcInTheDirectoryShowsAtClose) {
  OpenFixture("bad_crc.zip");
  ASSERT_TRUE(reader.OpenEntry("data.txt"));
  EXPECT_EQ(ReadToEnd(reader, 10240), FixtureText(3000));
  EXPECT_FALSE(reader.CloseEntry());
  EXPECT_TRUE(ErrorSays("CRC-32")) << reader.Error();
}

TEST_F(DecoderTest, CrcCoversOnlyWhatWasDelivered) {
  OpenFixture("python_mixed.zip");
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  char buffer[20000];
  ASSERT_EQ(reader.Read(buffer, sizeof(buffer)), 20000);
  EXPECT_FALSE(reader.CloseEntry());
  ASSERT_TRUE(reader.OpenEntry("stored.bin"));
  ASSERT_EQ(reader.Read(buffer, 2999), 2999);
  EXPECT_FALSE(reader.CloseEntry());
}

TEST_F(DecoderTest, SmallerUncompressedSizeStopsAfterTheWindowThatReachesIt) {
  // 20000 bytes, 1000 stated: what the first inflate pass put into the 16384-byte window
  // is delivered whole, then the end; the rest of the data never arrives.
  OpenFixture("short_size.zip");
  ASSERT_TRUE(reader.OpenEntry("data.bin"));
  std::vector<int32_t> results;
  const std::string got = ReadToEnd(reader, 10240, &results);
  EXPECT_GT(got.size(), 1000u);
  EXPECT_LE(got.size(), 16384u);
  EXPECT_TRUE(FixtureNoise(7, 20000).compare(0, got.size(), got) == 0);
  EXPECT_EQ(results, (std::vector<int32_t>{10240, static_cast<int32_t>(got.size()) - 10240, 0}));
  EXPECT_FALSE(reader.CloseEntry());

  // 4000 bytes, 3000 stated: all of it fits in the first window, so the CRC matches.
  OpenFixture("short_size_small.zip");
  ASSERT_TRUE(reader.OpenEntry("data.txt"));
  EXPECT_EQ(ReadToEnd(reader, 10240), FixtureText(4000));
  EXPECT_TRUE(reader.CloseEntry());
}

TEST_F(DecoderTest, LargerUncompressedSizeFailsWhenTheStreamEnds) {
  OpenWithCentralField("python_mixed.zip", 1, 24, 35001);
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  std::vector<int32_t> results;
  const std::string got = ReadToEnd(reader, 10240, &results);
  EXPECT_EQ(results.back(), -1);
  EXPECT_LT(got.size(), BigContent().size());
  EXPECT_TRUE(BigContent().compare(0, got.size(), got) == 0);
  EXPECT_TRUE(ErrorSays("ends before the stated size")) << reader.Error();
  EXPECT_EQ(reader.Read(nullptr, 10), 0);
}

TEST_F(DecoderTest, CompressedDataThatEndsEarlyFails) {
  // The directory gives fewer compressed bytes than the stream needs: inflate runs dry.
  OpenWithCentralField("python_mixed.zip", 1, 20, 10000);
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  std::vector<int32_t> results;
  ReadToEnd(reader, 10240, &results);
  EXPECT_EQ(results.back(), -1);
  EXPECT_TRUE(ErrorSays("ends inside the deflate stream")) << reader.Error();

  // The file cannot deliver the second portion of compressed data.
  OpenFixture("python_mixed.zip");
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  faults.FailAt(CFaultFileSystem::kRead, 1);
  results.clear();
  const std::string got = ReadToEnd(reader, 10240, &results);
  EXPECT_EQ(results.back(), -1);
  // What the first portion decodes to arrives; the read that needs more fails.
  EXPECT_GE(got.size(), 16384u);
  EXPECT_LT(got.size(), BigContent().size());
  EXPECT_TRUE(BigContent().compare(0, got.size(), got) == 0);
  EXPECT_TRUE(ErrorSays("ends early")) << reader.Error();
  EXPECT_FALSE(reader.CloseEntry());
}

TEST_F(DecoderTest, ShortFirstReadOfDeflatedDataFailsTheOpen) {
  OpenFixture("python_mixed.zip");
  faults.FailAt(CFaultFileSystem::kRead, 1);
  EXPECT_FALSE(reader.OpenEntry("big.bin"));
  EXPECT_TRUE(ErrorSays("ends early")) << reader.Error();
  char c;
  EXPECT_EQ(reader.Read(&c, 1), 0);
  EXPECT_FALSE(reader.CloseEntry());
  // The failure is not sticky: the next open reads again.
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  EXPECT_TRUE(ReadToEnd(reader, 10240) == BigContent());
  EXPECT_TRUE(reader.CloseEntry());
}

TEST_F(DecoderTest, StoredEntryThatRunsPastTheFileEndsShort) {
  std::string bytes = LoadFixture("python_mixed.zip");
  OpenBytes(bytes);
  const int32_t available =
      static_cast<int32_t>(bytes.size()) - reader.FindEntry("stored.bin")->dataOffset;
  OpenWithCentralField("python_mixed.zip", 0, 20, static_cast<uint32_t>(available + 100));
  ASSERT_TRUE(reader.OpenEntry("stored.bin"));
  std::vector<int32_t> results;
  const std::string got = ReadToEnd(reader, 1 << 20, &results);
  EXPECT_EQ(results, (std::vector<int32_t>{available, 0}));
  EXPECT_EQ(got.substr(0, 3000), FixtureNoise(4, 3000));
  EXPECT_FALSE(reader.CloseEntry());
}

TEST_F(DecoderTest, OnlyStoredAndDeflatedCanBeOpened) {
  for (const char* fixture : {"python_bzip2.zip", "python_lzma.zip"}) {
    SCOPED_TRACE(fixture);
    OpenFixture(fixture);
    EXPECT_FALSE(reader.OpenEntry("data.txt"));
    EXPECT_TRUE(ErrorSays("compression method 1")) << reader.Error();
    char c;
    EXPECT_EQ(reader.Read(&c, 1), 0);
  }
  std::string bytes = LoadFixture("python_mixed.zip");
  SetU16(bytes, CentralRecordAt(bytes, 1) + 10, 9);  // deflate64
  OpenBytes(bytes);
  EXPECT_FALSE(reader.OpenEntry("big.bin"));
  EXPECT_TRUE(ErrorSays("compression method 9")) << reader.Error();
}

TEST_F(DecoderTest, OpeningAnotherEntryDiscardsTheFirst) {
  OpenFixture("python_mixed.zip");
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  char buffer[100];
  ASSERT_EQ(reader.Read(buffer, sizeof(buffer)), 100);
  ASSERT_TRUE(reader.OpenEntry("dir/with extra.txt"));
  EXPECT_EQ(ReadToEnd(reader, 333), FixtureText(1000));
  EXPECT_TRUE(reader.CloseEntry());
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 0);
  EXPECT_FALSE(reader.CloseEntry());
}

TEST_F(DecoderTest, ClosingTheArchiveWithAnOpenEntry) {
  OpenFixture("python_mixed.zip");
  ASSERT_TRUE(reader.OpenEntry("big.bin"));
  char buffer[100];
  ASSERT_EQ(reader.Read(buffer, sizeof(buffer)), 100);
  reader.Close();  // the inflate state is released (AddressSanitizer reports leaks)
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 0);
  EXPECT_FALSE(reader.CloseEntry());
  OpenFixture("python_mixed.zip");
  ASSERT_TRUE(reader.OpenEntry("big.bin"));  // left open for the destructor
}

}  // namespace
