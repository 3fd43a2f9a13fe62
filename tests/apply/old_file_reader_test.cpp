// COldFileReader: stretches of the installed file, zero fill and the sticky short read.

#include "apply/old_file_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_files.h"
#include "support/temp_dir.h"

namespace {

struct Stretch {
  uint64_t offset;
  uint64_t size;
};

// Appends every stretch to one output file and returns what the file holds.
std::string CopyStretches(CFileSystem& files, COldFileReader& reader,
                          const std::vector<Stretch>& stretches, const std::string& outPath) {
  std::unique_ptr<CWritableFile> out;
  EXPECT_TRUE(files.OpenWrite(outPath, &out).ok());
  for (const Stretch& s : stretches) {
    EXPECT_TRUE(reader.AppendBlock(*out, s.offset, s.size).ok());
  }
  EXPECT_TRUE(out->Close().ok());
  std::unique_ptr<CReadableFile> in;
  EXPECT_TRUE(files.OpenRead(outPath, &in).ok());
  std::string content(static_cast<size_t>(in->Size()), '\0');
  EXPECT_EQ(in->ReadAt(0, &content[0], content.size()), static_cast<int64_t>(content.size()));
  return content;
}

std::string Z(size_t n) { return std::string(n, '\0'); }

}  // namespace

TEST(OldFileReader, StretchesOfTheInstalledFile) {
  struct Case {
    const char* what;
    std::vector<Stretch> stretches;
    std::string expected;
    bool exhaustedAfter;
    uint64_t zeroFilled;
  };
  const std::vector<Case> cases = {
      {"inside the file", {{2, 3}}, "234", false, 0},
      {"backwards and repeated", {{5, 2}, {0, 2}, {5, 2}}, "560156", false, 0},
      {"up to the last byte exactly", {{5, 5}, {0, 1}}, "567890", false, 0},
      {"ends inside: zeros after, later stretches zeros too",
       {{8, 5}, {0, 2}},
       "89" + Z(3) + Z(2),
       true,
       5},
      {"starts past the end", {{20, 3}, {0, 2}}, Z(3) + Z(2), true, 5},
      {"an empty stretch past the end is not a short read", {{20, 0}, {0, 2}}, "01", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryFileSystem files;
    files.Put("/old.pkg", "0123456789");
    COldFileReader reader(files);
    reader.Open("/old.pkg", 2);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(CopyStretches(files, reader, c.stretches, "/out"), c.expected);
    EXPECT_EQ(reader.Exhausted(), c.exhaustedAfter);
    EXPECT_EQ(reader.ZeroFilled(), c.zeroFilled);
  }
}

TEST(OldFileReader, MissingFileGivesZeros) {
  CMemoryFileSystem files;
  COldFileReader reader(files);
  reader.Open("/absent.pkg", 5);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(CopyStretches(files, reader, {{0, 4}, {100, 2}}, "/out"), Z(6));
}

TEST(OldFileReader, SingleBlockEntryNeverOpensTheFile) {
  CMemoryFileSystem memory;
  memory.Put("/old.bin", "0123456789");
  CFaultFileSystem files(memory);
  COldFileReader reader(files);
  reader.Open("/old.bin", 1);
  reader.Open("/old.bin", 0);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(files.Calls(CFaultFileSystem::kOpenRead), 0);
}

TEST(OldFileReader, OpenAgainStartsFreshAfterAShortRead) {
  CMemoryFileSystem files;
  files.Put("/a.pkg", "abc");
  files.Put("/b.pkg", "xyz");
  COldFileReader reader(files);
  reader.Open("/a.pkg", 2);
  EXPECT_EQ(CopyStretches(files, reader, {{2, 2}}, "/out"), "c" + Z(1));
  EXPECT_TRUE(reader.Exhausted());
  EXPECT_EQ(reader.ZeroFilled(), 1u);
  reader.Open("/b.pkg", 2);
  EXPECT_FALSE(reader.Exhausted());
  EXPECT_EQ(reader.ZeroFilled(), 0u);
  EXPECT_EQ(CopyStretches(files, reader, {{0, 3}}, "/out"), "xyz");
  reader.Close();
  EXPECT_FALSE(reader.IsOpen());
}

TEST(OldFileReader, ReadAndWriteErrorsAreReported) {
  CMemoryFileSystem memory;
  memory.Put("/old.pkg", "0123456789");
  {
    CFaultFileSystem files(memory);
    files.FailAt(CFaultFileSystem::kRead, 1, 5 /* EIO */);
    COldFileReader reader(files);
    reader.Open("/old.pkg", 2);
    std::unique_ptr<CWritableFile> out;
    ASSERT_TRUE(files.OpenWrite("/out", &out).ok());
    EXPECT_FALSE(reader.AppendBlock(*out, 0, 4).ok());
  }
  {
    CFaultFileSystem files(memory);
    files.FailAt(CFaultFileSystem::kAppend, 1);
    COldFileReader reader(files);
    reader.Open("/absent.pkg", 2);  // zero fill goes through Append too
    std::unique_ptr<CWritableFile> out;
    ASSERT_TRUE(files.OpenWrite("/out", &out).ok());
    EXPECT_FALSE(reader.AppendBlock(*out, 0, 4).ok());
  }
}

// On the real disk the copy goes through the platform's kernel copy; the result and the
// zero fill must be the same, also for stretches larger than any copy buffer.
TEST(OldFileReader, LargeStretchesOnDiskKeepTheZeroFill) {
  CTempDir dir;
  std::string old(3u << 20, '\0');
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  dir.Write("old.pkg", old);
  CFileSystem& files = *DefaultFileSystem();
  COldFileReader reader(files);
  reader.Open(dir.Path("old.pkg"), 3);
  const std::string got = CopyStretches(
      files, reader, {{1u << 20, 1u << 20}, {0, 5}, {2u << 20, 3u << 20}, {0, 7}}, dir.Path("out"));
  const std::string expected =
      old.substr(1u << 20, 1u << 20) + old.substr(0, 5) + old.substr(2u << 20) + Z(2u << 20) + Z(7);
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}
