// ExtractZipInPlace: the archive at a path becomes the file stored in it, or the call
// says it did not.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "zip/zip_fixtures.h"

namespace {

const std::string kPath = "/client/.temp_data";
const std::string kZipPath = kPath + ".zip";

class ExtractZipTest : public ::testing::Test {
 protected:
  ExtractZipTest() : faults(memory) { fake.files = &faults; }

  bool Extract(const std::string& archive, const std::string& entryName,
               const std::string& path = kPath) {
    memory.Put(path, archive);
    CPatchRun run(fake.Get());
    return run.ExtractZipInPlace(path, entryName);
  }

  CMemoryFileSystem memory;
  CFaultFileSystem faults;
  CFakePlatform fake;
};

struct ExtractCase {
  const char* fixture;
  const char* entry;
  std::string content;  // what the path holds afterwards when the extraction succeeds
};

TEST_F(ExtractZipTest, ExtractsEntriesOfArchivesMadeByOtherTools) {
  const std::vector<ExtractCase> cases = {
      {"infozip_mixed.zip", "text.txt", FixtureText(35000)},
      {"infozip_mixed.zip", "noise.bin", FixtureNoise(1, 5000)},
      {"infozip_mixed.zip", "empty.dat", ""},
      {"infozip_streamed.zip", "-", FixtureText(20000) + FixtureNoise(2, 20000)},
      {"infozip_sfx.zip", "text.txt", FixtureText(35000)},
      {"infozip_sfx_adjusted.zip", "noise.bin", FixtureNoise(1, 5000)},
      {"infozip_case.zip", "README.TXT", "upper case\n"},
      {"python_mixed.zip", "big.bin", FixtureText(17000) + FixtureNoise(5, 18000)},
      {"python_mixed.zip", "stored.bin", FixtureNoise(4, 3000)},
      {"python_mixed.zip", "empty.txt", ""},
      {"python_mixed.zip", "dir/with extra.txt", FixtureText(1000)},
      {"python_streamed.zip", "second.bin", FixtureNoise(6, 2000)},
      {"python_duplicate.zip", "dup.txt", "second version\n"},
  };
  for (const ExtractCase& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + c.entry);
    CFakePlatform& f = fake;
    EXPECT_TRUE(Extract(LoadFixture(c.fixture), c.entry)) << f.trace.Dump();
    bool found = false;
    const std::string content = memory.Get(kPath, &found);
    EXPECT_TRUE(found);
    EXPECT_TRUE(content == c.content) << "content differs: " << content.size() << " bytes";
    EXPECT_FALSE(memory.Exists(kZipPath));
    EXPECT_TRUE(f.trace.Lines().empty()) << f.trace.Dump();
  }
}

struct FailureCase {
  const char* fixture;
  const char* entry;
  const char* reason;  // part of the trace line
  bool leavesFile;     // whether something is left at the path for the caller to remove
};

TEST_F(ExtractZipTest, ReportsEveryArchiveThatDoesNotYieldTheWholeEntry) {
  const std::vector<FailureCase> cases = {
      {"infozip_case.zip", "readme.txt", "no entry named \"readme.txt\"", false},
      {"python_mixed.zip", "missing.txt", "no entry named", false},
      {"infozip_comment.zip", "small.txt", "refused", false},
      {"bad_local_name.zip", "data.txt", "refused", false},
      {"python_zip64_end.zip", "a.txt", "Zip64", false},
      {"python_zip64_sizes.zip", "data.txt", "Zip64", false},
      {"python_bzip2.zip", "data.txt", "method 12", false},
      {"python_lzma.zip", "data.txt", "method 14", false},
      {"bad_deflate.zip", "data.txt", "corrupt", true},
      {"bad_crc.zip", "data.txt", "CRC-32", true},
      {"short_size.zip", "data.bin", "CRC-32", true},
      {"short_size_small.zip", "data.txt", "4000 bytes, the directory says 3000", true},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + c.entry);
    CFakePlatform local;
    CMemoryFileSystem files;
    local.files = &files;
    files.Put(kPath, LoadFixture(c.fixture));
    CPatchRun run(local.Get());
    EXPECT_FALSE(run.ExtractZipInPlace(kPath, c.entry));
    EXPECT_EQ(files.Exists(kPath), c.leavesFile);
    EXPECT_FALSE(files.Exists(kZipPath));
    ASSERT_EQ(local.trace.Lines().size(), 1u) << local.trace.Dump();
    const std::string line = local.trace.Lines()[0];
    EXPECT_NE(line.find(kPath), std::string::npos) << line;
    EXPECT_NE(line.find(c.entry), std::string::npos) << line;
    EXPECT_NE(line.find(c.reason), std::string::npos) << line;
  }
}

TEST_F(ExtractZipTest, NothingAtThePathIsReported) {
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.ExtractZipInPlace(kPath, "data.txt"));
  EXPECT_TRUE(fake.trace.Contains("cannot rename the archive")) << fake.trace.Dump();
  EXPECT_FALSE(memory.Exists(kZipPath));
}

TEST_F(ExtractZipTest, PathEndingInZipGetsASecondSuffix) {
  ASSERT_TRUE(Extract(LoadFixture("python_duplicate.zip"), "other.txt", "/client/x.zip"));
  const std::vector<std::string> log = faults.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "move /client/x.zip -> /client/x.zip.zip");
  EXPECT_EQ(log.back(), "delete /client/x.zip.zip");
  EXPECT_EQ(memory.Get("/client/x.zip"), "other\n");
  EXPECT_FALSE(memory.Exists("/client/x.zip.zip"));
}

TEST_F(ExtractZipTest, CopiesInChunksOf10240Bytes) {
  // 35000 bytes: three full chunks and the remainder, then the durable close.
  ASSERT_TRUE(Extract(LoadFixture("python_mixed.zip"), "big.bin"));
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kAppend), 4);
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kSync), 1);
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kClose), 1);
}

TEST_F(ExtractZipTest, LeftoverArchiveFromAnInterruptedRunIsNotRead) {
  // The leftover holds the same entry name with other content; only the archive just
  // written may be read.
  memory.Put(kZipPath, LoadFixture("infozip_mixed.zip"));
  ASSERT_TRUE(Extract(LoadFixture("python_mixed.zip"), "stored.bin")) << fake.trace.Dump();
  EXPECT_EQ(memory.Get(kPath), FixtureNoise(4, 3000));
  EXPECT_FALSE(memory.Exists(kZipPath));

  // Also when the leftover is not an archive at all, and when the new archive is broken.
  memory.Put(kZipPath, "junk");
  ASSERT_TRUE(Extract(LoadFixture("python_mixed.zip"), "stored.bin")) << fake.trace.Dump();
  memory.Put(kZipPath, LoadFixture("python_mixed.zip"));
  EXPECT_FALSE(Extract(LoadFixture("bad_deflate.zip"), "stored.bin"));
  EXPECT_FALSE(memory.Exists(kZipPath));
}

TEST_F(ExtractZipTest, LeftoverArchiveThatCannotBeRemovedFailsTheExtraction) {
  memory.Put(kZipPath, LoadFixture("infozip_mixed.zip"));
  faults.FailPath(CFaultFileSystem::kDelete, ".zip");
  EXPECT_FALSE(Extract(LoadFixture("python_mixed.zip"), "noise.bin"));
  EXPECT_TRUE(fake.trace.Contains("cannot remove a leftover")) << fake.trace.Dump();
  // The old archive was neither read nor moved over the path.
  EXPECT_EQ(memory.Get(kPath), LoadFixture("python_mixed.zip"));
}

TEST_F(ExtractZipTest, FileSystemFailuresAreReported) {
  struct Fault {
    CFaultFileSystem::EOp op;
    int nth;
    const char* reason;
  };
  const std::vector<Fault> faultsToTry = {
      {CFaultFileSystem::kMove, 1, "cannot rename the archive"},
      {CFaultFileSystem::kOpenRead, 1, "cannot open the archive"},
      {CFaultFileSystem::kOpenWrite, 1, "cannot create the file"},
      {CFaultFileSystem::kAppend, 2, "cannot write the file"},
      {CFaultFileSystem::kSync, 1, "cannot flush the file"},
      {CFaultFileSystem::kClose, 1, "cannot close the file"},
      // Reads of the archive: the end record, the Zip64 locator probe, then two for each of
      // the 4 central records and two for each local header (18); the 19th fills the
      // first input window of big.bin and the 20th refills it.
      {CFaultFileSystem::kRead, 20, "the entry's data is damaged"},
  };
  for (const Fault& f : faultsToTry) {
    SCOPED_TRACE(f.reason);
    CFakePlatform local;
    CMemoryFileSystem files;
    CFaultFileSystem wrapped(files);
    local.files = &wrapped;
    files.Put(kPath, LoadFixture("python_mixed.zip"));
    wrapped.FailAt(f.op, f.nth);
    CPatchRun run(local.Get());
    EXPECT_FALSE(run.ExtractZipInPlace(kPath, "big.bin"));
    EXPECT_TRUE(local.trace.Contains(f.reason)) << local.trace.Dump();
    EXPECT_FALSE(files.Exists(kZipPath));
  }
}

TEST_F(ExtractZipTest, ArchiveThatCannotBeDeletedAfterwardsKeepsTheResult) {
  faults.FailPath(CFaultFileSystem::kDelete, ".zip");
  EXPECT_TRUE(Extract(LoadFixture("python_mixed.zip"), "empty.txt"));
  EXPECT_TRUE(memory.Exists(kPath));
  EXPECT_TRUE(fake.trace.Contains("cannot delete the extracted archive")) << fake.trace.Dump();
}

TEST(ExtractZipOnDiskTest, ExtractsInARealFolder) {
  CTempDir dir;
  const std::string path = dir.Path(".temp_big.bin");
  dir.Write(".temp_big.bin", LoadFixture("python_mixed.zip"));
  dir.Write(".temp_big.bin.zip", LoadFixture("python_duplicate.zip"));  // a leftover
  CFakePlatform fake;
  CPatchRun run(fake.Get());
  ASSERT_TRUE(run.ExtractZipInPlace(path, "big.bin")) << fake.trace.Dump();
  EXPECT_EQ(dir.List(), std::vector<std::string>{".temp_big.bin"});
  EXPECT_TRUE(dir.Read(".temp_big.bin") == FixtureText(17000) + FixtureNoise(5, 18000));
}

}  // namespace
