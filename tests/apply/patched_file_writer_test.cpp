// CPatchRun::WritePatchedFile on a real folder: the bytes of every kind of block, the
// cursor positions the apply loop relies on, progress, and failures that leave no
// temporary file behind.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "apply/apply_paths.h"
#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/patch_run_access.h"
#include "support/temp_dir.h"
#include "support/test_package.h"

using A = CPatchRunTestAccess;

namespace {

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 17 + i / 977) & 0xff);
  return s;
}

std::string Z(size_t n) { return std::string(n, '\0'); }

class WriterTest : public ::testing::Test {
 protected:
  // Loads `p` into a fresh run whose install folder is the temporary folder.
  void Load(const CTestPackage& p, CFileSystem* files) {
    package = p;
    fake.files = files;
    fake.package.bytes = p.bytes;
    run = std::make_unique<CPatchRun>(fake.Get());
    ASSERT_TRUE(run->LoadPackage()) << fake.trace.Dump();
    g_installFolder = dir.path();
  }

  // Writes entry `i` the way the apply loop does.
  bool Write(size_t i) {
    EXPECT_TRUE(A::ReadEntryAt(*run, package.recordOffsets[i]));
    const std::string name = RecordName(A::Entry(*run));
    A::OldFile(*run).Open(TargetPath(name), A::Entry(*run).blockCount);
    const bool ok = run->WritePatchedFile(TemporaryPath(name));
    A::OldFile(*run).Close();
    return ok;
  }

  // The cursors stand where the apply loop expects them after entry `i`.
  void ExpectCursorsAfter(size_t i) {
    const uint64_t next =
        i + 1 < package.recordOffsets.size() ? package.recordOffsets[i + 1] : package.bytes.size();
    EXPECT_EQ(static_cast<uint64_t>(A::EntryStream(*run)->tellg()), package.dataOffsets[i]);
    EXPECT_EQ(static_cast<uint64_t>(A::DataStream(*run)->tellg()), next);
  }

  CTempDir dir;
  CFakePlatform fake;
  CTestPackage package;
  std::unique_ptr<CPatchRun> run;
};

TestEntry MixedEntry(const std::string& name) {
  TestEntry e;
  e.name = name;
  e.oldDigest = std::string(32, 'a');
  e.newDigest = std::string(32, 'b');
  e.blocks = {TestBlock::Package("HEADER-32-BYTES-OF-NEW-ARCHIVE!!"),
              TestBlock::Local(32, 779),
              TestBlock::Package("new bytes"),
              TestBlock::Package(""),
              TestBlock::Local(0, 0),
              TestBlock::Local(0, 10),
              TestBlock::Package("tail")};
  return e;
}

}  // namespace

TEST_F(WriterTest, AssemblesBlocksInTableOrderAndLeavesTheCursorsAtTheNextRecord) {
  const std::string old = Pattern(2000, 1);
  dir.Write("a.pkg", old);
  TestEntry second = WholeFileEntry("b.bin", "second entry");
  CTestPackage p = BuildTestPackage({MixedEntry("a.pkg"), second});
  // A fromPackage byte of 2, with junk in the filler, is a package block like any other.
  const uint64_t block6 = p.tableOffsets[0] + 6 * 12;
  p.bytes[block6] = 2;
  p.bytes[block6 + 1] = 0xe5;
  p.bytes[block6 + 2] = 0xfa;
  Load(p, DefaultFileSystem());

  ASSERT_TRUE(Write(0)) << fake.trace.Dump();
  EXPECT_EQ(dir.Read(".temp_a.pkg"), "HEADER-32-BYTES-OF-NEW-ARCHIVE!!" + old.substr(32, 779) +
                                         "new bytes" + old.substr(0, 10) + "tail");
  ExpectCursorsAfter(0);
  EXPECT_EQ(A::Block(*run).fromPackage, 2);
  EXPECT_EQ(A::Block(*run).size, 4u);
  // Progress counts package bytes only: the entry's whole data area.
  EXPECT_EQ(A::Status(*run).Done(), A::Entry(*run).dataSize);
  EXPECT_EQ(A::Entry(*run).dataSize, 32u + 9 + 4);

  // The next entry reads from where the cursors were left.
  ASSERT_TRUE(Write(1));
  EXPECT_EQ(dir.Read(".temp_b.bin"), "second entry");
  ExpectCursorsAfter(1);
  EXPECT_EQ(dir.Read("a.pkg"), old);  // the installed file is only read
  EXPECT_TRUE(fake.trace.Lines().empty()) << fake.trace.Dump();
}

TEST_F(WriterTest, LeftoverTemporaryFileIsTruncatedAndRewritten) {
  dir.Write("x.bin", "unused");
  dir.Write(".temp_x.bin", std::string(5000, 'L'));
  Load(BuildTestPackage({WholeFileEntry("x.bin", "fresh")}), DefaultFileSystem());
  ASSERT_TRUE(Write(0));
  EXPECT_EQ(dir.Read(".temp_x.bin"), "fresh");
}

TEST_F(WriterTest, ShortOrMissingInstalledFileGivesZerosOfTheRightLength) {
  TestEntry e;
  e.name = "a.pkg";
  e.blocks = {TestBlock::Package("H"), TestBlock::Local(0, 4), TestBlock::Local(6, 10),
              TestBlock::Package("P"), TestBlock::Local(0, 3)};
  const CTestPackage p = BuildTestPackage({e});

  dir.Write("a.pkg", "0123456789");  // ends inside the second local block
  Load(p, DefaultFileSystem());
  ASSERT_TRUE(Write(0));
  EXPECT_EQ(dir.Read(".temp_a.pkg"), "H0123" + std::string("6789") + Z(6) + "P" + Z(3));

  ASSERT_EQ(std::remove(dir.Path("a.pkg").c_str()), 0);
  Load(p, DefaultFileSystem());
  ASSERT_TRUE(Write(0));
  EXPECT_EQ(dir.Read(".temp_a.pkg"), "H" + Z(4) + Z(10) + "P" + Z(3));
}

// Blocks several times larger than any copy buffer come out byte for byte, both through
// the kernel copy of the real file system and through the portable copy of a wrapper.
TEST_F(WriterTest, BlocksLargerThanTheCopyChunkAreExact) {
  const std::string old = Pattern(3 * kCopyChunk + 4321, 2);
  const std::string fresh = Pattern(2 * kCopyChunk + 77, 3);
  TestEntry e;
  e.name = "big.pkg";
  e.blocks = {TestBlock::Package(fresh.substr(0, 32)),
              TestBlock::Local(100, static_cast<uint32_t>(old.size() - 100)),
              TestBlock::Package(fresh.substr(32)),
              TestBlock::Local(old.size() - kCopyChunk, 2 * kCopyChunk)};
  const CTestPackage p = BuildTestPackage({e});
  const std::string expected = fresh.substr(0, 32) + old.substr(100) + fresh.substr(32) +
                               old.substr(old.size() - kCopyChunk) + Z(kCopyChunk);
  dir.Write("big.pkg", old);

  CFaultFileSystem wrapped(*DefaultFileSystem());
  for (CFileSystem* files : {DefaultFileSystem(), static_cast<CFileSystem*>(&wrapped)}) {
    Load(p, files);
    ASSERT_TRUE(Write(0)) << fake.trace.Dump();
    const std::string got = dir.Read(".temp_big.pkg");
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    ExpectCursorsAfter(0);
  }
}

TEST_F(WriterTest, CreatesTheFolderOfAFileThePatchAdds) {
  Load(BuildTestPackage({WholeFileEntry("data\\sub/new.dat", "added")}), DefaultFileSystem());
  ASSERT_TRUE(Write(0)) << fake.trace.Dump();
  EXPECT_EQ(dir.Read("data/sub/.temp_new.dat"), "added");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"data/sub/.temp_new.dat"});
}

// Every way the temporary file can fail: the entry is reported by name, the partial file
// is removed, and the cursors and the progress move exactly as after a good write, so
// the next entry is still found.
TEST_F(WriterTest, FailedWriteRemovesTheFileAndKeepsTheWalkInStep) {
  struct Case {
    CFaultFileSystem::EOp op;
    int nth;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {CFaultFileSystem::kMakeFolders, 1, "cannot create its folder"},
      {CFaultFileSystem::kOpenWrite, 1, "cannot create the temporary file"},
      {CFaultFileSystem::kAppend, 1, "cannot write the temporary file"},
      {CFaultFileSystem::kAppend, 2, "cannot copy a stretch of the installed file"},
      {CFaultFileSystem::kAppend, 4, "cannot write the temporary file"},
      {CFaultFileSystem::kRead, 1, "cannot copy a stretch of the installed file"},
      {CFaultFileSystem::kSync, 1, "cannot flush the temporary file"},
      {CFaultFileSystem::kClose, 1, "cannot close the temporary file"},
  };
  dir.Write("d/a.pkg", Pattern(2000, 4));
  const CTestPackage p = BuildTestPackage({MixedEntry("d/a.pkg"), WholeFileEntry("z.bin", "z")});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    CFaultFileSystem faults(*DefaultFileSystem());
    faults.FailAt(c.op, c.nth);
    Load(p, &faults);
    const size_t linesBefore = fake.trace.Lines().size();

    EXPECT_FALSE(Write(0));
    EXPECT_FALSE(dir.Exists("d/.temp_a.pkg"));
    const std::vector<std::string> lines = fake.trace.Lines();
    ASSERT_EQ(lines.size(), linesBefore + 1) << fake.trace.Dump();
    EXPECT_EQ(lines.back().rfind("d/a.pkg is not patched: " + std::string(c.reason), 0), 0u)
        << lines.back();
    ExpectCursorsAfter(0);
    EXPECT_EQ(A::Status(*run).Done(), A::Entry(*run).dataSize);
  }
}
