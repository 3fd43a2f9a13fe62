// CPatchRun::ApplyPatch and ReplacePatchedFiles on a real folder: which entries are
// written and installed, in which order, and what a failure leaves on disk.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// An archive entry of one block: installed by renaming, without a digest.
TestEntry OneBlockArchive(const std::string& name, const std::string& content) {
  return WholeFileEntry(name, content);
}

// An archive delta: two package blocks around a stretch of the installed archive.
TestEntry DeltaArchive(const std::string& name) {
  TestEntry e;
  e.name = name;
  e.oldDigest = std::string(32, 'a');
  e.newDigest = std::string(32, 'b');
  e.blocks = {TestBlock::Package("HEAD"), TestBlock::Local(0, 8), TestBlock::Package("TAIL")};
  return e;
}

class ApplyPatchTest : public ::testing::Test {
 protected:
  ApplyPatchTest() : faults(*DefaultFileSystem()) {}

  void Load(const std::vector<TestEntry>& entries) {
    package = BuildTestPackage(entries);
    fake.files = &faults;
    fake.package.bytes = package.bytes;
    run = std::make_unique<CPatchRun>(fake.Get());
    ASSERT_TRUE(run->LoadPackage()) << fake.trace.Dump();
    g_installFolder = dir.path();
  }

  bool Apply(std::vector<std::string> names) {
    const bool ok = run->ApplyPatch(std::move(names));
    // Whatever happened, the stage ends with the cursors gone and the old file closed.
    EXPECT_EQ(A::EntryStream(*run), nullptr);
    EXPECT_EQ(A::DataStream(*run), nullptr);
    EXPECT_FALSE(A::OldFile(*run).IsOpen());
    return ok;
  }

  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const std::string& f : dir.List()) {
      if (f.find(kTempPrefix) != std::string::npos) found.push_back(f);
    }
    return found;
  }

  CTempDir dir;
  CFakePlatform fake;
  CFaultFileSystem faults;
  CTestPackage package;
  std::unique_ptr<CPatchRun> run;
};

}  // namespace

TEST_F(ApplyPatchTest, EmptyListWritesNothingAndCompletes) {
  dir.Write("a.pkg", "old a");
  Load({OneBlockArchive("a.pkg", "new a")});
  EXPECT_TRUE(Apply({}));
  EXPECT_EQ(run->Status().GetText(), "Start Patch.....");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.pkg"});
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_EQ(run->Status().Done(), 0u);
  EXPECT_TRUE(faults.Log().empty());
}

TEST_F(ApplyPatchTest, ListNamingOnlyTheLastEntrySkipsTheOthersUntouched) {
  dir.Write("a.pkg", "0123456789");
  dir.Write("b.pkg", "abcdefghij");
  dir.Write("c.pkg", "old c");
  Load({DeltaArchive("a.pkg"), DeltaArchive("b.pkg"), OneBlockArchive("c.pkg", "new c")});
  EXPECT_TRUE(Apply({"c.pkg"})) << fake.trace.Dump();
  EXPECT_EQ(dir.Read("c.pkg"), "new c");
  EXPECT_EQ(dir.Read("a.pkg"), "0123456789");
  EXPECT_EQ(dir.Read("b.pkg"), "abcdefghij");
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_EQ(run->Status().GetText(), "Patch c.pkg ");
  EXPECT_EQ(run->Status().Done(), 5u);
  EXPECT_EQ(faults.Log(), (std::vector<std::string>{
                              "write " + dir.Path(".temp_c.pkg"),
                              "replace " + dir.Path(".temp_c.pkg") + " -> " + dir.Path("c.pkg")}));
}

TEST_F(ApplyPatchTest, EveryTemporaryFileIsClosedBeforeTheFirstReplacement) {
  dir.Write("a.pkg", "old a");
  Load({OneBlockArchive("a.pkg", "new a"), OneBlockArchive("b.pkg", "new b"),
        OneBlockArchive("c.pkg", "new c")});
  EXPECT_TRUE(Apply({"a.pkg", "b.pkg", "c.pkg"})) << fake.trace.Dump();
  const std::vector<std::string> log = faults.Log();
  ASSERT_EQ(log.size(), 6u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(log[i].rfind("write ", 0), 0u) << log[i];
  for (size_t i = 3; i < 6; ++i) EXPECT_EQ(log[i].rfind("replace ", 0), 0u) << log[i];
  // Each file was synced and closed before any rename.
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kSync), 3);
  EXPECT_EQ(faults.Calls(CFaultFileSystem::kClose), 3);
  EXPECT_EQ(dir.Read("a.pkg"), "new a");
  EXPECT_EQ(dir.Read("b.pkg"), "new b");  // a file the patch adds
  EXPECT_EQ(dir.Read("c.pkg"), "new c");
  EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(ApplyPatchTest, NameWithFolderPartIsWrittenBesideItsTarget) {
  dir.Write("data/x.pkg", "old x");
  Load({OneBlockArchive("data\\x.pkg", "new x"), OneBlockArchive("new/deep/y.pkg", "new y")});
  EXPECT_TRUE(Apply({"data\\x.pkg", "new/deep/y.pkg"})) << fake.trace.Dump();
  EXPECT_EQ(dir.Read("data/x.pkg"), "new x");
  EXPECT_EQ(dir.Read("new/deep/y.pkg"), "new y");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"data/x.pkg", "new/deep/y.pkg"}));
  EXPECT_NE(
      std::find(faults.Log().begin(), faults.Log().end(), "write " + dir.Path("data\\.temp_x.pkg")),
      faults.Log().end());
}

TEST_F(ApplyPatchTest, InjectedWriteFailureFailsThatEntryOnly) {
  dir.Write("a.pkg", "old a");
  dir.Write("b.pkg", "old b");
  Load({OneBlockArchive("a.pkg", "new a"), OneBlockArchive("b.pkg", "new b")});
  faults.FailPath(CFaultFileSystem::kAppend, ".temp_a.pkg", 28 /* ENOSPC */);
  EXPECT_FALSE(Apply({"a.pkg", "b.pkg"}));
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_EQ(dir.Read("b.pkg"), "new b");
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_TRUE(fake.trace.Contains("a.pkg is not patched: cannot write the temporary file"))
      << fake.trace.Dump();
  // Progress still counts the failed entry's package bytes.
  EXPECT_EQ(run->Status().Done(), 10u);
}

TEST_F(ApplyPatchTest, TargetThatCannotBeReplacedKeepsTheOldFile) {
  struct Case {
    const char* what;
    bool directoryInTheWay;
  };
  for (const Case c : {Case{"locked target", false}, Case{"folder in the way", true}}) {
    SCOPED_TRACE(c.what);
    CTempDir here;
    if (c.directoryInTheWay) {
      here.Write("a.pkg/keep.txt", "kept");
    } else {
      here.Write("a.pkg", "old a");
      faults.FailPath(CFaultFileSystem::kReplace, here.Path("a.pkg"),
                      32 /* like a sharing violation */);
    }
    here.Write("b.pkg", "old b");
    Load({OneBlockArchive("a.pkg", "new a"), OneBlockArchive("b.pkg", "new b")});
    g_installFolder = here.path();
    EXPECT_FALSE(Apply({"a.pkg", "b.pkg"}));
    if (c.directoryInTheWay) {
      EXPECT_EQ(here.Read("a.pkg/keep.txt"), "kept");
    } else {
      EXPECT_EQ(here.Read("a.pkg"), "old a");
    }
    EXPECT_EQ(here.Read("b.pkg"), "new b");
    for (const std::string& f : here.List()) EXPECT_EQ(f.find(kTempPrefix), std::string::npos) << f;
    EXPECT_TRUE(fake.trace.Contains("a.pkg is not patched: cannot replace the installed file"))
        << fake.trace.Dump();
  }
}

// A file the system refuses to change (the immutable attribute: even root cannot rename
// over it). Needs a file system and rights that allow setting the attribute.
TEST_F(ApplyPatchTest, ImmutableTargetKeepsTheOldFile) {
  dir.Write("a.pkg", "old a");
  const std::string path = dir.Path("a.pkg");
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
    ::close(fd);
    GTEST_SKIP() << "file attributes are not supported here";
  }
  const int original = flags;
  flags |= FS_IMMUTABLE_FL;
  if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
    ::close(fd);
    GTEST_SKIP() << "cannot set the immutable attribute here";
  }
  struct Restore {
    int fd;
    int flags;
    ~Restore() {
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
      ::close(fd);
    }
  } restore{fd, original};

  Load({OneBlockArchive("a.pkg", "new a")});
  EXPECT_FALSE(Apply({"a.pkg"}));
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_TRUE(fake.trace.Contains("a.pkg is not patched: cannot replace the installed file"));
}

TEST_F(ApplyPatchTest, ReadOnlyTargetKeepsTheOldFile) {
  dir.Write("a.pkg", "old a");
  dir.Write("b.pkg", "old b");
  ASSERT_EQ(::chmod(dir.Path("a.pkg").c_str(), 0444), 0);
  Load({OneBlockArchive("a.pkg", "new a"), OneBlockArchive("b.pkg", "new b")});
  EXPECT_FALSE(Apply({"a.pkg", "b.pkg"}));
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_EQ(dir.Read("b.pkg"), "new b");  // the other entry is still installed
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_TRUE(fake.trace.Contains("a.pkg is not patched: cannot replace the installed file"))
      << fake.trace.Dump();
  EXPECT_TRUE(fake.trace.Contains("read-only")) << fake.trace.Dump();
}

TEST_F(ApplyPatchTest, NamesMissingFromThePackageFailAtItsEnd) {
  dir.Write("a.pkg", "old a");
  dir.Write("b.pkg", "old b");
  Load({OneBlockArchive("a.pkg", "new a"), OneBlockArchive("b.pkg", "new b")});
  // "a.pkg" after "b.pkg" is out of package order: the walk reaches the end first.
  EXPECT_FALSE(Apply({"b.pkg", "a.pkg", "zzz.pkg"}));
  EXPECT_EQ(dir.Read("b.pkg"), "new b");
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_TRUE(fake.trace.Contains("a.pkg is not patched: it is not in the package"));
  EXPECT_TRUE(fake.trace.Contains("zzz.pkg is not patched: it is not in the package"));
}

TEST_F(ApplyPatchTest, NamesMatchExactlyIncludingLetterCase) {
  dir.Write("a.pkg", "old a");
  Load({OneBlockArchive("a.pkg", "new a")});
  EXPECT_FALSE(Apply({"A.pkg"}));
  EXPECT_EQ(dir.Read("a.pkg"), "old a");
  EXPECT_TRUE(faults.Log().empty());
}

TEST(PatchStatusText, NameAndOneBlankWithinTheBuffer) {
  EXPECT_EQ(PatchStatusText("char1.pkg"), "Patch char1.pkg ");
  const std::string fits(kStatusTextBuffer - 8, 'n');  // "Patch " + name + " " = 1023
  EXPECT_EQ(PatchStatusText(fits), "Patch " + fits + " ");
  const std::string longest(1023, 'n');
  const std::string text = PatchStatusText(longest);
  EXPECT_EQ(text.size(), kStatusTextBuffer - 1);
  EXPECT_EQ(text, "Patch " + longest.substr(0, kStatusTextBuffer - 7));
}

TEST(TemporaryName, LiesBesideTheTarget) {
  EXPECT_EQ(TemporaryName("char1.pkg"), ".temp_char1.pkg");
  EXPECT_EQ(TemporaryName("data\\x.pkg"), "data\\.temp_x.pkg");
  EXPECT_EQ(TemporaryName("a/b\\c"), "a/b\\.temp_c");
}
