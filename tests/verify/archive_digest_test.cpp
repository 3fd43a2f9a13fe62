// The archive index digest: what enters it, the missing-file trace line, and a table of
// truncated and lying archives that must end quickly, read within the file and give a
// text that differs from the intact archive's digest.

#include "verify/archive_digest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "verify/md5.h"
#include "verify/test_archive.h"

namespace {

std::string U32(uint32_t v) { return U32Bytes(v); }
std::string Md5(const std::string& bytes) { return Md5Of(bytes); }
using CArchive = CTestArchive;
CArchive BuildArchive(const std::vector<std::string>& records,
                      const std::string& members = "member bytes that the digest skips") {
  return BuildTestArchive(records, members);
}

// Wraps a file system and watches the reads: the largest single read asked for and the
// bytes delivered. It can also make every file claim more bytes than it holds, as a file
// cut short while it is open would.
class CReadWatchFileSystem : public CFileSystem {
 public:
  explicit CReadWatchFileSystem(CFileSystem& base) : m_base(base) {}
  size_t largestRead = 0;
  uint64_t bytesRead = 0;
  int64_t sizeBonus = 0;

  CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) override {
    std::unique_ptr<CReadableFile> inner;
    CResult r = m_base.OpenRead(path, &inner);
    if (r.ok()) file->reset(new CWatchedFile(*this, std::move(inner)));
    return r;
  }
  CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) override {
    return m_base.OpenWrite(path, file);
  }
  CResult Delete(const std::string& path) override { return m_base.Delete(path); }
  CResult Replace(const std::string& from, const std::string& to) override {
    return m_base.Replace(from, to);
  }
  CResult Move(const std::string& from, const std::string& to) override {
    return m_base.Move(from, to);
  }
  CResult MakeFolders(const std::string& path) override { return m_base.MakeFolders(path); }
  bool Exists(const std::string& path) override { return m_base.Exists(path); }
  CResult FreeSpace(const std::string& folder, uint64_t* bytes) override {
    return m_base.FreeSpace(folder, bytes);
  }

 private:
  class CWatchedFile : public CReadableFile {
   public:
    CWatchedFile(CReadWatchFileSystem& fs, std::unique_ptr<CReadableFile> inner)
        : m_fs(fs), m_inner(std::move(inner)) {}
    int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
      m_fs.largestRead = std::max(m_fs.largestRead, n);
      const int64_t got = m_inner->ReadAt(offset, buffer, n);
      if (got > 0) m_fs.bytesRead += static_cast<uint64_t>(got);
      return got;
    }
    int64_t Size() override { return m_inner->Size() + m_fs.sizeBonus; }

   private:
    CReadWatchFileSystem& m_fs;
    std::unique_ptr<CReadableFile> m_inner;
  };

  CFileSystem& m_base;
};

class ArchiveDigestTest : public ::testing::Test {
 protected:
  ArchiveDigestTest() : watch(memory) { g_installFolder = "/client/"; }
  ~ArchiveDigestTest() override { g_installFolder.clear(); }

  std::string Digest(const std::string& name) { return GetArchiveDigest(watch, trace, name); }

  CMemoryFileSystem memory;
  CReadWatchFileSystem watch;
  CRecordingTrace trace;
};

}  // namespace

TEST_F(ArchiveDigestTest, DigestCoversTheIndexHeadAndRecordsOnly) {
  const CArchive a = BuildArchive({"first record", "", std::string(300, 'r'), "last"});
  memory.Put("/client/char1.pkg", a.bytes);
  const std::string digest = Digest("char1.pkg");
  EXPECT_EQ(digest, Md5(a.index));
  EXPECT_TRUE(trace.Lines().empty()) << trace.Dump();

  // Member data and header bytes other than the offset do not enter the digest.
  CArchive other = BuildArchive({"first record", "", std::string(300, 'r'), "last"},
                                "different members, longer than before");
  other.bytes[3] = '\x01';
  memory.Put("/client/char2.pkg", other.bytes);
  EXPECT_EQ(Digest("char2.pkg"), digest);

  // Any byte of a record does.
  CArchive changed = a;
  changed.bytes[changed.bytes.size() - 2] ^= 1;
  memory.Put("/client/char3.pkg", changed.bytes);
  EXPECT_NE(Digest("char3.pkg"), digest);
}

TEST_F(ArchiveDigestTest, EmptyIndexDigestsItsHeadAlone) {
  const CArchive a = BuildArchive({});
  memory.Put("/client/empty.pkg", a.bytes);
  EXPECT_EQ(Digest("empty.pkg"), Md5(a.index));
  EXPECT_EQ(a.index.size(), 12u);
}

TEST_F(ArchiveDigestTest, ZeroLengthRecordAddsOnlyItsLengthField) {
  const CArchive a = BuildArchive({"", ""});
  memory.Put("/client/z.pkg", a.bytes);
  EXPECT_EQ(Digest("z.pkg"), Md5(a.index));
  EXPECT_EQ(a.index.size(), 12u + 4u + 4u);
}

TEST_F(ArchiveDigestTest, LargeIndexIsReadThroughTheWindowAcrossManyRefills) {
  // Records of many sizes, including ones larger than any sensible read window.
  std::vector<std::string> records;
  for (int i = 0; i < 5000; ++i)
    records.push_back(std::string(static_cast<size_t>(i % 97), 'a' + i % 26));
  records.push_back(std::string(200 << 10, 'B'));
  records.push_back("tail");
  const CArchive a = BuildArchive(records);
  memory.Put("/client/big.pkg", a.bytes);
  EXPECT_EQ(Digest("big.pkg"), Md5(a.index));
  EXPECT_TRUE(trace.Lines().empty()) << trace.Dump();
  // Read sequentially: the index once, the header once, nothing of the members.
  EXPECT_LE(watch.bytesRead, a.index.size() + 32);
}

TEST_F(ArchiveDigestTest, NameIsTakenRelativeToTheInstallFolder) {
  g_installFolder = "/games/client\\";
  const CArchive a = BuildArchive({"x"});
  memory.Put("/games/client/data/x.pkg", a.bytes);
  EXPECT_EQ(Digest("data\\x.pkg"), Md5(a.index));
}

TEST_F(ArchiveDigestTest, MissingArchiveGivesEmptyTextAndOneTraceLine) {
  EXPECT_EQ(Digest("char1.pkg"), "");
  ASSERT_EQ(trace.Lines(), std::vector<std::string>{"LocalFile: /client/char1.pkg is not exist!!"});
}

TEST_F(ArchiveDigestTest, DamagedArchivesEndWithinTheFileAndDifferFromTheIntactDigest) {
  const CArchive intact = BuildArchive({"alpha", "", "gamma record", "delta"});
  const std::string& b = intact.bytes;
  const uint32_t at = intact.indexOffset;
  const std::string head = intact.index.substr(0, 12);
  // The head and the first three records: all but "delta".
  const std::string firstThree = intact.index.substr(0, 12 + (4 + 5) + 4 + (4 + 12));

  auto withU32 = [](std::string bytes, size_t offset, uint32_t v) {
    bytes.replace(offset, 4, U32(v));
    return bytes;
  };
  auto countSays = [&](uint32_t n) { return withU32(intact.index, 4, n); };
  const struct {
    const char* what;
    std::string bytes;
    std::string digested;  // what the digest covers: the whole parts before the damage
  } kCases[] = {
      {"empty file", "", ""},
      {"shorter than the header", b.substr(0, 31), ""},
      {"index offset past the end", withU32(b, 20, 0xfffffff0u), ""},
      {"index offset at the end", withU32(b, 20, static_cast<uint32_t>(b.size())), ""},
      {"index head cut short", b.substr(0, at + 11), ""},
      {"record count far larger than the file", withU32(b, at + 4, 0xffffffffu),
       countSays(0xffffffffu).substr(0, 12)},
      {"one record more than the file holds", withU32(b, at + 4, 5), countSays(5)},
      {"record length far larger than the file", withU32(b, at + 12, 0xfffffff0u),
       head + U32(0xfffffff0u)},
      {"cut inside the last length field", b.substr(0, at + firstThree.size() + 2), firstThree},
      {"cut after the head", b.substr(0, at + 12), head},
      {"cut inside the last record", b.substr(0, b.size() - 1),
       intact.index.substr(0, intact.index.size() - 5)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    memory.Put("/client/bad.pkg", c.bytes);
    watch.largestRead = 0;
    watch.bytesRead = 0;
    const size_t linesBefore = trace.Lines().size();

    const std::string digest = Digest("bad.pkg");

    EXPECT_NE(digest, Md5(intact.index));
    EXPECT_NE(digest, "");
    EXPECT_EQ(digest, Md5(c.digested));
    EXPECT_LE(watch.largestRead, std::max<size_t>(c.bytes.size(), 1));
    EXPECT_LE(watch.bytesRead, c.bytes.size());
    const auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), linesBefore + 1);
    EXPECT_EQ(lines.back().rfind("LocalFile: /client/bad.pkg is damaged: ", 0), 0u) << lines.back();
  }
}

TEST_F(ArchiveDigestTest, LyingRecordCountDigestsTheHeadAndRecordsThatExist) {
  // The head counts 5 records, 4 are there: the digest covers the 4 and differs from
  // the digest of the same bytes read as a 4-record index.
  CArchive a = BuildArchive({"alpha", "", "gamma record", "delta"});
  const std::string honest = Md5(a.index);
  a.bytes.replace(a.indexOffset + 4, 4, U32(5));
  a.index.replace(4, 4, U32(5));
  memory.Put("/client/lie.pkg", a.bytes);
  const std::string digest = Digest("lie.pkg");
  EXPECT_EQ(digest, Md5(a.index));
  EXPECT_NE(digest, honest);
  EXPECT_TRUE(trace.Contains("is damaged: the file ends before index record 4 of 5"))
      << trace.Dump();
}

TEST_F(ArchiveDigestTest, FileThatShrinksWhileOpenEndsTheDigest) {
  const CArchive a = BuildArchive({"alpha", std::string(5000, 'x'), "tail"});
  memory.Put("/client/shrunk.pkg", a.bytes);
  watch.sizeBonus = 100000;  // the size taken at open is larger than what can be read
  const std::string digest = Digest("shrunk.pkg");
  // All records were whole; the count check saw room for more, but none is claimed.
  EXPECT_EQ(digest, Md5(a.index));

  CArchive longer = a;
  longer.bytes.replace(a.indexOffset + 4, 4, U32(4));  // one record more than present
  memory.Put("/client/shrunk.pkg", longer.bytes);
  EXPECT_NE(Digest("shrunk.pkg"), digest);
  EXPECT_TRUE(trace.Contains("is damaged: the file ends before index record 3 of 4"))
      << trace.Dump();
}

TEST_F(ArchiveDigestTest, ReadErrorInsideTheIndexIsReportedAndDiffers) {
  const CArchive a = BuildArchive({"alpha", "beta"});
  memory.Put("/client/io.pkg", a.bytes);
  CFaultFileSystem faulty(memory);
  faulty.FailAt(CFaultFileSystem::kRead, 2, 5 /* EIO */);  // the header reads, the index not
  const std::string digest = GetArchiveDigest(faulty, trace, "io.pkg");
  EXPECT_NE(digest, Md5(a.index));
  EXPECT_NE(digest, "");
  EXPECT_TRUE(trace.Contains("LocalFile: /client/io.pkg is damaged: a read failed"))
      << trace.Dump();
}

TEST(ArchiveDigestOnDiskTest, DigestsAnArchiveInARealFolder) {
  CTempDir dir;
  const CTestArchive a = BuildTestArchive({"alpha", "", std::string(70000, 'm')});
  dir.Write("data/char1.pkg", a.bytes);
  g_installFolder = dir.path();
  CRecordingTrace trace;
  EXPECT_EQ(GetArchiveDigest(*DefaultFileSystem(), trace, "data\\char1.pkg"), Md5Of(a.index));
  EXPECT_EQ(GetArchiveDigest(*DefaultFileSystem(), trace, "data\\char2.pkg"), "");
  EXPECT_EQ(trace.Lines(), std::vector<std::string>{"LocalFile: " + dir.path() +
                                                    "data\\char2.pkg is not exist!!"});
  g_installFolder.clear();
}
