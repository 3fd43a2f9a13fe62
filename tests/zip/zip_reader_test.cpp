#include "zip/zip_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/fake_files.h"
#include "zip/zip_fixtures.h"

namespace {

const std::string kArchive = "/archive.zip";

struct Expected {
  std::string name;
  uint32_t method;
  std::string content;
};

struct ArchiveCase {
  const char* fixture;
  std::vector<Expected> entries;  // in directory order
};

// Opens `bytes` as an archive held in memory.
class ReaderTest : public ::testing::Test {
 protected:
  bool OpenBytes(const std::string& bytes) {
    files.Put(kArchive, bytes);
    return reader.Open(kArchive);
  }
  void ExpectClosed() {
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_TRUE(reader.Entries().empty());
  }

  CMemoryFileSystem files;
  CZipFileReader reader{files};
};

TEST_F(ReaderTest, ReadsArchivesMadeByOtherTools) {
  const std::string mixedText = FixtureText(35000);
  const std::vector<ArchiveCase> cases = {
      // Info-ZIP: extra fields longer in the local headers than in the central records,
      // entry comments, a stored, a deflated and an empty member.
      {"infozip_mixed.zip",
       {{"text.txt", 8, mixedText}, {"noise.bin", 0, FixtureNoise(1, 5000)}, {"empty.dat", 0, ""}}},
      // Streamed through a pipe: data descriptor, Zip64 placeholders in the local header.
      {"infozip_streamed.zip", {{"-", 8, FixtureText(20000) + FixtureNoise(2, 20000)}}},
      // A 4096-byte stub in front, offsets as written (shift) and adjusted by zip -A.
      {"infozip_sfx.zip",
       {{"text.txt", 8, mixedText}, {"noise.bin", 0, FixtureNoise(1, 5000)}, {"empty.dat", 0, ""}}},
      {"infozip_sfx_adjusted.zip",
       {{"text.txt", 8, mixedText}, {"noise.bin", 0, FixtureNoise(1, 5000)}, {"empty.dat", 0, ""}}},
      {"infozip_case.zip", {{"Readme.txt", 0, "mixed case\n"}, {"README.TXT", 0, "upper case\n"}}},
      // Python: a custom extra field and comments in the central records.
      {"python_mixed.zip",
       {{"stored.bin", 0, FixtureNoise(4, 3000)},
        {"big.bin", 8, FixtureText(17000) + FixtureNoise(5, 18000)},
        {"empty.txt", 8, ""},
        {"dir/with extra.txt", 8, FixtureText(1000)}}},
      // Written to an unseekable stream: every entry has a data descriptor.
      {"python_streamed.zip",
       {{"first.txt", 8, FixtureText(5000)}, {"second.bin", 0, FixtureNoise(6, 2000)}}},
  };
  for (const ArchiveCase& c : cases) {
    SCOPED_TRACE(c.fixture);
    ASSERT_TRUE(OpenBytes(LoadFixture(c.fixture))) << reader.Error();
    ASSERT_EQ(reader.Entries().size(), c.entries.size());
    for (size_t i = 0; i < c.entries.size(); ++i) {
      const Expected& e = c.entries[i];
      SCOPED_TRACE(e.name);
      const ZipEntry& entry = *reader.Entries()[i];
      EXPECT_EQ(entry.name, e.name);
      EXPECT_EQ(entry.method, e.method);
      EXPECT_EQ(entry.uncompressedSize, static_cast<int32_t>(e.content.size()));
      EXPECT_EQ(reader.FindEntry(e.name), &entry);
      ASSERT_TRUE(reader.OpenEntry(e.name)) << reader.Error();
      EXPECT_TRUE(ReadToEnd(reader, 10240) == e.content);
      EXPECT_TRUE(reader.CloseEntry()) << reader.Error();
    }
  }
}

TEST_F(ReaderTest, StreamedFixturesReallyLackSizesInTheirLocalHeaders) {
  // The reader gets them right only because it takes sizes from the central directory.
  const std::string python = LoadFixture("python_streamed.zip");
  const size_t local = LocalHeaderAt(python, 0);
  EXPECT_NE(GetU16(python, local + 6) & 0x8, 0);  // data descriptor flag
  EXPECT_EQ(GetU32(python, local + 18), 0u);      // compressed size
  const std::string infozip = LoadFixture("infozip_streamed.zip");
  EXPECT_EQ(GetU32(infozip, LocalHeaderAt(infozip, 0) + 18), 0xffffffffu);
}

TEST_F(ReaderTest, ForeignBytesInFrontMoveEveryOffset) {
  ASSERT_TRUE(OpenBytes(LoadFixture("infozip_mixed.zip")));
  std::vector<int32_t> plain;
  for (const auto& e : reader.Entries()) plain.push_back(e->dataOffset);
  for (const char* fixture : {"infozip_sfx.zip", "infozip_sfx_adjusted.zip"}) {
    SCOPED_TRACE(fixture);
    ASSERT_TRUE(OpenBytes(LoadFixture(fixture))) << reader.Error();
    ASSERT_EQ(reader.Entries().size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
      EXPECT_EQ(reader.Entries()[i]->dataOffset, plain[i] + 4096);
    }
  }
}

TEST_F(ReaderTest, LaterDuplicateWinsButBothLocalHeadersAreChecked) {
  const std::string bytes = LoadFixture("python_duplicate.zip");
  ASSERT_TRUE(OpenBytes(bytes));
  ASSERT_EQ(reader.Entries().size(), 3u);
  EXPECT_EQ(reader.FindEntry("dup.txt"), reader.Entries()[2].get());
  ASSERT_TRUE(reader.OpenEntry("dup.txt"));
  EXPECT_EQ(ReadToEnd(reader, 100), "second version\n");
  EXPECT_TRUE(reader.CloseEntry());

  std::string damaged = bytes;
  damaged[LocalHeaderAt(damaged, 0)] ^= 1;  // the hidden first "dup.txt"
  EXPECT_FALSE(OpenBytes(damaged));
  ExpectClosed();
}

TEST_F(ReaderTest, NamesMatchExactly) {
  ASSERT_TRUE(OpenBytes(LoadFixture("infozip_case.zip")));
  EXPECT_NE(reader.FindEntry("Readme.txt"), reader.FindEntry("README.TXT"));
  EXPECT_EQ(reader.FindEntry("readme.txt"), nullptr);
  EXPECT_FALSE(reader.OpenEntry("readme.txt"));
  EXPECT_NE(reader.Error().find("no entry named \"readme.txt\""), std::string::npos);

  ASSERT_TRUE(OpenBytes(LoadFixture("python_mixed.zip")));
  EXPECT_NE(reader.FindEntry("dir/with extra.txt"), nullptr);
  for (const char* other : {"dir\\with extra.txt", "/dir/with extra.txt", "with extra.txt",
                            "dir/with extra.txt ", "dir/with extra.tx", ""}) {
    EXPECT_EQ(reader.FindEntry(other), nullptr) << other;
  }
}

TEST_F(ReaderTest, NamesAreCutAt1024BytesAndAtNul) {
  std::string longName;
  while (longName.size() < 1100) longName += "long/";
  longName.resize(1100);
  ASSERT_TRUE(OpenBytes(LoadFixture("python_long_name.zip"))) << reader.Error();
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0]->name, longName.substr(0, 1024));
  EXPECT_EQ(reader.FindEntry(longName), nullptr);
  ASSERT_TRUE(reader.OpenEntry(longName.substr(0, 1024)));
  EXPECT_EQ(ReadToEnd(reader, 64), "long name\n");

  ASSERT_TRUE(OpenBytes(LoadFixture("nul_in_name.zip"))) << reader.Error();
  ASSERT_EQ(reader.Entries().size(), 1u);
  EXPECT_EQ(reader.Entries()[0]->name, "nul");
  ASSERT_TRUE(reader.OpenEntry("nul"));
  EXPECT_EQ(ReadToEnd(reader, 64), "nul\n");
  EXPECT_TRUE(reader.CloseEntry());
}

TEST_F(ReaderTest, EmptyDirectoryOpensWithNoEntries) {
  // What Python's zipfile writes for an archive without members: the end record alone.
  std::string empty(22, '\0');
  SetU32(empty, 0, 0x06054b50);
  ASSERT_TRUE(OpenBytes(empty)) << reader.Error();
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_TRUE(reader.Entries().empty());
  EXPECT_EQ(reader.FindEntry(""), nullptr);
  EXPECT_FALSE(reader.OpenEntry("anything"));
}

struct Refusal {
  const char* fixture;
  const char* reason;
};

TEST_F(ReaderTest, RefusesArchivesItCannotRead) {
  const std::vector<Refusal> cases = {
      {"infozip_comment.zip", "not a zip archive, or one with an archive comment"},
      {"bad_local_name.zip", "the local header names it \"dbta.txt\""},
      {"python_zip64_end.zip", "Zip64"},
      {"python_zip64_sizes.zip", "Zip64"},
      {"make_fixtures.py", "no end-of-directory record"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.fixture);
    // Start from an open archive: a refusal must not leave its entries behind.
    ASSERT_TRUE(OpenBytes(LoadFixture("python_mixed.zip")));
    ASSERT_TRUE(reader.OpenEntry("big.bin"));
    EXPECT_FALSE(OpenBytes(LoadFixture(c.fixture)));
    ExpectClosed();
    EXPECT_EQ(reader.FindEntry("big.bin"), nullptr);
    EXPECT_EQ(reader.Read(nullptr, 0), 0);
    EXPECT_NE(reader.Error().find(c.reason), std::string::npos) << reader.Error();
  }
  EXPECT_FALSE(reader.Open("/missing.zip"));
  EXPECT_NE(reader.Error().find("cannot open the archive"), std::string::npos);
  ExpectClosed();
  EXPECT_FALSE(OpenBytes(std::string(21, '\0')));
  EXPECT_NE(reader.Error().find("too short"), std::string::npos);
}

TEST_F(ReaderTest, OpenAfterOpenForgetsThePreviousArchive) {
  ASSERT_TRUE(OpenBytes(LoadFixture("infozip_mixed.zip")));
  ASSERT_TRUE(reader.OpenEntry("text.txt"));
  ASSERT_TRUE(OpenBytes(LoadFixture("python_duplicate.zip")));
  EXPECT_EQ(reader.Entries().size(), 3u);
  EXPECT_EQ(reader.FindEntry("text.txt"), nullptr);
  char c;
  EXPECT_EQ(reader.Read(&c, 1), 0);  // the entry of the old archive is gone
  EXPECT_FALSE(reader.CloseEntry());
  reader.Close();
  reader.Close();
  ExpectClosed();
}

// One field of a good archive damaged: every case refuses the whole archive.
struct Corruption {
  const char* what;
  std::function<void(std::string&)> damage;
  const char* reason;
};

TEST_F(ReaderTest, CorruptionTable) {
  const std::string good = LoadFixture("python_mixed.zip");
  const size_t end = good.size() - 22;
  const size_t c0 = CentralRecordAt(good, 0);
  const size_t c1 = CentralRecordAt(good, 1);
  const size_t c3 = CentralRecordAt(good, 3);
  const size_t l1 = LocalHeaderAt(good, 1);
  const size_t l3 = LocalHeaderAt(good, 3);
  const uint32_t size = static_cast<uint32_t>(good.size());
  const std::vector<Corruption> table = {
      {"last byte cut off", [](std::string& a) { a.pop_back(); }, "no end-of-directory record"},
      {"end signature", [&](std::string& a) { a[end] ^= 1; }, "no end-of-directory record"},
      {"comment length", [&](std::string& a) { SetU16(a, end + 20, 1); }, "with a comment"},
      {"directory size one more",
       [&](std::string& a) { SetU32(a, end + 12, GetU32(a, end + 12) + 1); },
       "directory record 1 has no central header signature"},
      {"directory larger than the file", [&](std::string& a) { SetU32(a, end + 12, size); },
       "larger than the file"},
      {"directory offset saturated", [&](std::string& a) { SetU32(a, end + 16, 0xffffffff); },
       "Zip64"},
      {"directory size saturated", [&](std::string& a) { SetU32(a, end + 12, 0xffffffff); },
       "Zip64"},
      {"second central signature", [&](std::string& a) { a[c1 + 3] ^= 1; },
       "directory record 2 has no central header signature"},
      {"first name one byte longer",
       [&](std::string& a) { SetU16(a, c0 + 28, GetU16(a, c0 + 28) + 1); },
       "directory record 2 has no central header signature"},
      {"last comment runs past the directory",
       [&](std::string& a) { SetU16(a, c3 + 32, GetU16(a, c3 + 32) + 1); },
       "directory record 4 runs past the directory's end"},
      {"compressed size saturated", [&](std::string& a) { SetU32(a, c0 + 20, 0xffffffff); },
       "Zip64"},
      {"uncompressed size saturated", [&](std::string& a) { SetU32(a, c1 + 24, 0xffffffff); },
       "Zip64"},
      {"local offset saturated", [&](std::string& a) { SetU32(a, c0 + 42, 0xffffffff); }, "Zip64"},
      {"local offset past the file", [&](std::string& a) { SetU32(a, c0 + 42, size); },
       "the local header lies outside the file"},
      {"first byte removed", [](std::string& a) { a.erase(0, 1); },
       "the local header lies outside the file"},
      {"local offset in the last bytes", [&](std::string& a) { SetU32(a, c0 + 42, size - 10); },
       "the local header is cut short"},
      {"local offset off by one", [&](std::string& a) { SetU32(a, c1 + 42, l1 + 1); },
       "entry \"big.bin\": no local header signature"},
      {"local signature", [&](std::string& a) { a[l1] ^= 1; }, "no local header signature"},
      {"local name shorter", [&](std::string& a) { SetU16(a, l1 + 26, GetU16(a, l1 + 26) - 1); },
       "the local header names it \"big.bi\""},
      {"local name letter case", [&](std::string& a) { a[l1 + 30] ^= 0x20; },
       "the local header names it \"Big.bin\""},
      {"local extra field past the end", [&](std::string& a) { SetU16(a, l3 + 28, 0xffff); },
       "the data starts past the end of the file"},
  };
  for (const Corruption& c : table) {
    SCOPED_TRACE(c.what);
    std::string damaged = good;
    c.damage(damaged);
    EXPECT_FALSE(OpenBytes(damaged));
    ExpectClosed();
    EXPECT_NE(reader.Error().find(c.reason), std::string::npos) << reader.Error();
  }
  EXPECT_TRUE(OpenBytes(good)) << reader.Error();
}

// A file of `size` bytes whose last bytes are `tail` and whose others read as zeros, as a
// sparse file would; nothing of its size is allocated.
class SparseFile : public CReadableFile {
 public:
  SparseFile(int64_t size, std::string tail) : m_size(size), m_tail(std::move(tail)) {}
  int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    const uint64_t size = static_cast<uint64_t>(m_size);
    if (offset >= size) return 0;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
    const uint64_t tailStart = size - m_tail.size();
    for (size_t i = 0; i < take; ++i) {
      const uint64_t at = offset + i;
      static_cast<char*>(buffer)[i] = at < tailStart ? '\0' : m_tail[at - tailStart];
    }
    return static_cast<int64_t>(take);
  }
  int64_t Size() override { return m_size; }

 private:
  int64_t m_size;
  std::string m_tail;
};

class SparseFileSystem : public CMemoryFileSystem {
 public:
  int64_t size = 0;
  std::string tail;
  CResult OpenRead(const std::string&, std::unique_ptr<CReadableFile>* file) override {
    file->reset(new SparseFile(size, tail));
    return CResult::Ok();
  }
};

TEST(ReaderLimits, ArchivesOf2GiBOrMoreAreRefused) {
  SparseFileSystem files;
  files.tail = LoadFixture("python_duplicate.zip");
  CZipFileReader reader(files);

  // The largest file with signed 32-bit positions: the archive sits behind 2 GiB - 1 - its
  // size of foreign bytes, and its entries are found by the shift.
  files.size = INT64_C(0x7fffffff);
  ASSERT_TRUE(reader.Open("/big.zip")) << reader.Error();
  EXPECT_EQ(reader.Entries()[0]->localHeaderOffset,
            static_cast<int32_t>(files.size - static_cast<int64_t>(files.tail.size())));
  ASSERT_TRUE(reader.OpenEntry("dup.txt"));
  EXPECT_EQ(ReadToEnd(reader, 1000), "second version\n");
  EXPECT_TRUE(reader.CloseEntry());

  for (int64_t size : {INT64_C(0x80000000), INT64_C(0x100000000) + 5000}) {
    files.size = size;
    EXPECT_FALSE(reader.Open("/big.zip")) << size;
    EXPECT_NE(reader.Error().find("2 GiB or more"), std::string::npos) << reader.Error();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_TRUE(reader.Entries().empty());
  }
}

}  // namespace
