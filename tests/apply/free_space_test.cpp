// The free-space check: a run whose new files do not fit writes nothing at all.

#include <gtest/gtest.h>

#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/test_package.h"

namespace {

class FreeSpaceTest : public ::testing::Test {
 protected:
  // Two one-block archives (installed by renaming) and a delta whose new file is 4 bytes
  // from the package plus 1000 copied from the installed archive.
  FreeSpaceTest() {
    TestEntry delta;
    delta.name = "c.pkg";
    delta.blocks = {TestBlock::Package("HEAD"), TestBlock::Local(0, 1000)};
    package = BuildTestPackage({WholeFileEntry("a.pkg", std::string(100, 'a')),
                                WholeFileEntry("b.pkg", std::string(50, 'b')), delta});
    memory.Put("/c/a.pkg", "old a");
    memory.Put("/c/b.pkg", "old b");
    fake.files = &memory;
    fake.package.bytes = package.bytes;
    g_installFolder = "/c/";
  }

  bool Apply(std::vector<std::string> names) {
    CPatchRun run(fake.Get());
    EXPECT_TRUE(run.LoadPackage());
    return run.ApplyPatch(std::move(names));
  }

  CTestPackage package;
  CMemoryFileSystem memory;
  CFakePlatform fake;
};

}  // namespace

TEST_F(FreeSpaceTest, TooLittleSpaceFailsBeforeAnyFileIsWritten) {
  memory.freeSpace = 149;
  EXPECT_FALSE(Apply({"a.pkg", "b.pkg"}));
  EXPECT_TRUE(fake.trace.Contains("Not enough free space in /c/: the patch needs 150 bytes, "
                                  "149 are free"))
      << fake.trace.Dump();
  EXPECT_EQ(memory.Paths(), (std::vector<std::string>{"/c/a.pkg", "/c/b.pkg"}));
  EXPECT_EQ(memory.Get("/c/a.pkg"), "old a");
}

TEST_F(FreeSpaceTest, OnlyListedEntriesCountAndLocalBlocksCountInFull) {
  memory.freeSpace = 50;
  EXPECT_TRUE(Apply({"b.pkg"})) << fake.trace.Dump();
  EXPECT_EQ(memory.Get("/c/b.pkg"), std::string(50, 'b'));
  EXPECT_EQ(memory.Get("/c/a.pkg"), "old a");

  memory.freeSpace = 1003;
  EXPECT_FALSE(Apply({"c.pkg"}));
  EXPECT_TRUE(fake.trace.Contains("needs 1004 bytes, 1003 are free")) << fake.trace.Dump();
  EXPECT_FALSE(memory.Exists("/c/.temp_c.pkg"));
}

TEST_F(FreeSpaceTest, ExactFitIsEnough) {
  memory.freeSpace = 150;
  EXPECT_TRUE(Apply({"a.pkg", "b.pkg"})) << fake.trace.Dump();
  EXPECT_EQ(memory.Get("/c/a.pkg"), std::string(100, 'a'));
}
