// The POSIX file system seen through the platform interface, on a real folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

CResult WriteWhole(CFileSystem& fs, const std::string& path, const std::string& content) {
  std::unique_ptr<CWritableFile> f;
  CResult r = fs.OpenWrite(path, &f);
  if (!r.ok()) return r;
  r = f->Append(content.data(), content.size());
  if (!r.ok()) return r;
  r = f->Sync();
  if (!r.ok()) return r;
  return f->Close();
}

}  // namespace

TEST(PosixFiles, WriteTruncatesAndReadsBackAtOffsets) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  dir.Write("f", std::string(100, 'x'));
  ASSERT_TRUE(WriteWhole(fs, dir.Path("f"), "hello world").ok());
  EXPECT_EQ(dir.Read("f"), "hello world");

  std::unique_ptr<CReadableFile> in;
  ASSERT_TRUE(fs.OpenRead(dir.Path("f"), &in).ok());
  EXPECT_EQ(in->Size(), 11);
  char buf[16] = {};
  EXPECT_EQ(in->ReadAt(6, buf, 16), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(in->ReadAt(11, buf, 4), 0);
  EXPECT_EQ(in->ReadAt(1000, buf, 4), 0);
}

TEST(PosixFiles, MissingFileAndFolderAreErrorsWithThePathInTheMessage) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  std::unique_ptr<CReadableFile> in;
  CResult r = fs.OpenRead(dir.Path("missing"), &in);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.message().find(dir.Path("missing")), std::string::npos);
  EXPECT_FALSE(fs.OpenRead(dir.path(), &in).ok());  // a folder is not a file
}

TEST(PosixFiles, ReplaceOverwritesInOneStepAndMoveNeverDoes) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  dir.Write("target", "old");
  dir.Write("temp", "new");
  dir.Write("other", "other");
  ASSERT_TRUE(fs.Replace(dir.Path("temp"), dir.Path("target")).ok());
  EXPECT_EQ(dir.Read("target"), "new");
  EXPECT_FALSE(dir.Exists("temp"));

  EXPECT_FALSE(fs.Move(dir.Path("other"), dir.Path("target")).ok());
  EXPECT_EQ(dir.Read("target"), "new");
  EXPECT_EQ(dir.Read("other"), "other");
  ASSERT_TRUE(fs.Move(dir.Path("other"), dir.Path("moved")).ok());
  EXPECT_EQ(dir.Read("moved"), "other");
  EXPECT_FALSE(dir.Exists("other"));
}

TEST(PosixFiles, ReplaceRefusesAReadOnlyTargetAndKeepsIt) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  dir.Write("target", "old");
  dir.Write("temp", "new");
  ASSERT_EQ(chmod(dir.Path("target").c_str(), 0444), 0);
  const CResult r = fs.Replace(dir.Path("temp"), dir.Path("target"));
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.message().find("read-only"), std::string::npos) << r.message();
  EXPECT_EQ(dir.Read("target"), "old");
  EXPECT_EQ(dir.Read("temp"), "new");
}

TEST(PosixFiles, BackslashesSeparateFolders) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  ASSERT_TRUE(fs.MakeFolders(dir.Path("a\\b/c")).ok());
  ASSERT_TRUE(WriteWhole(fs, dir.Path("a\\b\\c\\f.txt"), "x").ok());
  EXPECT_EQ(dir.Read("a/b/c/f.txt"), "x");
  EXPECT_TRUE(fs.Exists(dir.Path("a\\b\\c\\f.txt")));
  ASSERT_TRUE(fs.Delete(dir.Path("a\\b\\c\\f.txt")).ok());
  EXPECT_FALSE(dir.Exists("a/b/c/f.txt"));
  EXPECT_TRUE(fs.MakeFolders(dir.Path("a/b")).ok());  // existing folders are fine
}

TEST(PosixFiles, AppendFromCopiesAStretchAndStopsAtTheSourceEnd) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  std::string source;
  for (int i = 0; i < 3000000; ++i) source += static_cast<char>('a' + i % 26);
  dir.Write("src", source);
  std::unique_ptr<CReadableFile> in;
  ASSERT_TRUE(fs.OpenRead(dir.Path("src"), &in).ok());
  std::unique_ptr<CWritableFile> out;
  ASSERT_TRUE(fs.OpenWrite(dir.Path("dst"), &out).ok());
  uint64_t copied = 0;
  ASSERT_TRUE(out->Append("<", 1).ok());
  ASSERT_TRUE(out->AppendFrom(*in, 5, 2500000, &copied).ok());
  EXPECT_EQ(copied, 2500000u);
  ASSERT_TRUE(out->AppendFrom(*in, 2999990, 100, &copied).ok());
  EXPECT_EQ(copied, 10u);
  ASSERT_TRUE(out->Append(">", 1).ok());  // plain writes continue after the copies
  ASSERT_TRUE(out->Close().ok());
  EXPECT_EQ(dir.Read("dst"), "<" + source.substr(5, 2500000) + source.substr(2999990) + ">");
}

// Stretches at the same place in a page as the write position go through the kernel,
// the others through a buffer: a file built from both kinds, in either order, must hold
// exactly the bytes asked for, including stretches larger than the buffer, stretches that
// run past the source's end, and plain writes between copies.
TEST(PosixFiles, AppendFromMixesPageAlignedAndUnalignedStretches) {
  CTempDir dir;
  CFileSystem& fs = *DefaultFileSystem();
  std::string source;
  uint32_t x = 12345;
  for (int i = 0; i < 5000000; ++i) {
    x = x * 1103515245u + 12345u;
    source += static_cast<char>(x >> 24);
  }
  dir.Write("src", source);
  struct Stretch {
    bool samePlaceInPage;  // offset = page * 4096 + (write position % 4096)
    uint64_t pageOrOffset;
    uint64_t size;
    const char* thenWrite;
  };
  const std::vector<std::vector<Stretch>> cases = {
      {{true, 0, 8192, ""}, {false, 7, 3000000, ""}, {true, 5, 2100000, ""}, {false, 1, 9, "|"}},
      {{false, 1, 2500000, "|"}, {true, 3, 1500000, "|"}, {true, 0, 10, ""}},
      {{false, 4999000, 5000, ""}, {true, 1, 4096, "|"}, {true, 1220, 5000, ""}},  // past the end
      {{false, 100, 0, ""}, {true, 0, 0, "|"}, {false, 3, 1 << 21, ""}},          // empty ones
  };
  for (size_t c = 0; c < cases.size(); ++c) {
    std::unique_ptr<CReadableFile> in;
    ASSERT_TRUE(fs.OpenRead(dir.Path("src"), &in).ok());
    std::unique_ptr<CWritableFile> out;
    ASSERT_TRUE(fs.OpenWrite(dir.Path("dst"), &out).ok());
    std::string expected;
    for (const Stretch& s : cases[c]) {
      const uint64_t offset =
          s.samePlaceInPage ? s.pageOrOffset * 4096 + expected.size() % 4096 : s.pageOrOffset;
      uint64_t copied = 99;
      ASSERT_TRUE(out->AppendFrom(*in, offset, s.size, &copied).ok()) << "case " << c;
      const uint64_t available =
          offset >= source.size() ? 0 : std::min<uint64_t>(s.size, source.size() - offset);
      EXPECT_EQ(copied, available) << "case " << c;
      expected += source.substr(std::min<uint64_t>(offset, source.size()), available);
      ASSERT_TRUE(out->Append(s.thenWrite, std::strlen(s.thenWrite)).ok());
      expected += s.thenWrite;
    }
    ASSERT_TRUE(out->Close().ok());
    EXPECT_TRUE(dir.Read("dst") == expected) << "case " << c;
  }
}

TEST(PosixFiles, WriteIntoAFolderWithoutPermissionFails) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  CTempDir dir;
  ASSERT_EQ(mkdir(dir.Path("locked").c_str(), 0555), 0);
  std::unique_ptr<CWritableFile> out;
  EXPECT_FALSE(DefaultFileSystem()->OpenWrite(dir.Path("locked/f"), &out).ok());
}

TEST(PosixFiles, FreeSpaceIsReported) {
  CTempDir dir;
  uint64_t bytes = 0;
  ASSERT_TRUE(DefaultFileSystem()->FreeSpace(dir.path(), &bytes).ok());
  EXPECT_GT(bytes, 0u);
}
