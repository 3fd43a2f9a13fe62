// The pre-patch comparison: which entries are compared, what is asked and traced, the
// names it yields and the progress total, and archives that are already patched.

#include "verify/patch_file_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/test_package.h"
#include "verify/test_archive.h"

namespace {

WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x5151);
const char kQuestion[] = "This file is different with PatchFile.\nDo you want to continue patch ?";

// An archive entry: a new header from the package and one stretch of the installed
// archive, with `extra` package bytes so that entries have different data sizes.
TestEntry ArchiveEntry(const std::string& name, const std::string& oldDigest,
                       const std::string& newDigest = std::string(32, 'e'), size_t extra = 0) {
  TestEntry e;
  e.name = name;
  e.oldDigest = oldDigest;
  e.newDigest = newDigest;
  e.blocks = {TestBlock::Package(std::string(32 + extra, 'H')), TestBlock::Local(32, 1000)};
  return e;
}

uint32_t DataSize(const TestEntry& e) {
  uint32_t n = 0;
  for (const TestBlock& b : e.blocks) {
    if (b.fromPackage) n += b.size;
  }
  return n;
}

class PatchFileListTest : public ::testing::Test {
 protected:
  PatchFileListTest() : faulty(memory) {
    fake.files = &faulty;
    g_installFolder = "/client/";
  }
  ~PatchFileListTest() override { g_installFolder.clear(); }

  // Installs an archive and returns its index digest.
  std::string Install(const std::string& name, const std::vector<std::string>& records) {
    const CTestArchive a = BuildTestArchive(records);
    memory.Put("/client/" + name, a.bytes);
    return Md5Of(a.index);
  }

  bool Compare(CPatchFileList& list, const std::vector<TestEntry>& entries) {
    package = BuildTestPackage(entries);
    return list.CompareLocalFiles(kWindow, package.bytes.data(),
                                  static_cast<uint32_t>(package.bytes.size()));
  }

  static std::vector<std::string> Names(const CPatchFileList& list) {
    std::vector<std::string> names;
    list.CopyNames(names);
    return names;
  }

  CMemoryFileSystem memory;
  CFaultFileSystem faulty;
  CFakePlatform fake;
  CTestPackage package;
};

}  // namespace

TEST_F(PatchFileListTest, EmptyPackageGivesNoNamesNoTotalAndOneTraceLine) {
  CPatchFileList list(fake.Get());
  EXPECT_TRUE(Compare(list, {}));
  EXPECT_TRUE(Names(list).empty());
  EXPECT_EQ(list.GetTotalBytes(), 0u);
  EXPECT_EQ(fake.trace.Lines(), std::vector<std::string>{"To Compare File Start .."});
}

TEST_F(PatchFileListTest, MatchingArchivesAreAllTakenInOrderWithoutAQuestion) {
  const std::vector<TestEntry> entries = {
      ArchiveEntry("char1.pkg", Install("char1.pkg", {"one", "two"}), std::string(32, 'e'), 5),
      WholeFileEntry("MRClient.exe", "zip bytes"),
      ArchiveEntry("data\\map.pkg", Install("data/map.pkg", {"map"}), std::string(32, 'e'), 17),
      ArchiveEntry("sound.pkg", Install("sound.pkg", {}), std::string(32, 'e'), 0),
  };
  CPatchFileList list(fake.Get());
  ASSERT_TRUE(Compare(list, entries)) << fake.trace.Dump();

  EXPECT_EQ(Names(list),
            (std::vector<std::string>{"char1.pkg", "MRClient.exe", "data\\map.pkg", "sound.pkg"}));
  uint32_t total = 0;
  for (const TestEntry& e : entries) total += DataSize(e);
  EXPECT_EQ(list.GetTotalBytes(), total);
  EXPECT_TRUE(fake.ui.Questions().empty());
  EXPECT_EQ(fake.trace.Lines(),
            (std::vector<std::string>{"To Compare File Start ..", "char1.pkg file is compared..",
                                      "data\\map.pkg file is compared..",
                                      "sound.pkg file is compared.."}));
  EXPECT_EQ(list.GetPatchedBytes(), 0u);
}

TEST_F(PatchFileListTest, MissingArchiveIsAskedAboutAndYesLeavesItOut) {
  const std::vector<TestEntry> entries = {
      ArchiveEntry("char0.pkg", Install("char0.pkg", {"zero"})),
      ArchiveEntry("char1.pkg", std::string(32, 'a'), std::string(32, 'b'), 40),
      ArchiveEntry("char2.pkg", Install("char2.pkg", {"two"})),
  };
  fake.ui.answers = {true};
  CPatchFileList list(fake.Get());
  ASSERT_TRUE(Compare(list, entries));

  EXPECT_EQ(Names(list), (std::vector<std::string>{"char0.pkg", "char2.pkg"}));
  // The entry left out still counts towards the total.
  EXPECT_EQ(list.GetTotalBytes(),
            DataSize(entries[0]) + DataSize(entries[1]) + DataSize(entries[2]));
  const auto questions = fake.ui.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].owner, kWindow);
  EXPECT_EQ(questions[0].text, kQuestion);
  EXPECT_EQ(questions[0].caption, "char1.pkg");
  const auto lines = fake.trace.Lines();
  ASSERT_EQ(lines.size(), 5u) << fake.trace.Dump();
  EXPECT_EQ(lines[2], "char1.pkg file is compared..");
  EXPECT_EQ(lines[3], "LocalFile: /client/char1.pkg is not exist!!");
  EXPECT_EQ(lines[4], "char2.pkg file is compared..");
}

TEST_F(PatchFileListTest, NoOnTheThirdEntryStopsBeforeReadingTheRest) {
  const std::vector<TestEntry> entries = {
      ArchiveEntry("a.pkg", Install("a.pkg", {"a"}), std::string(32, 'e'), 1),
      ArchiveEntry("b.pkg", std::string(32, '1'), std::string(32, 'e'), 2),  // differs: Yes
      ArchiveEntry("c.pkg", std::string(32, '2'), std::string(32, 'e'), 3),  // differs: No
      ArchiveEntry("d.pkg", Install("d.pkg", {"d"}), std::string(32, 'e'), 4),
  };
  Install("b.pkg", {"not the version the patch expects"});
  Install("c.pkg", {"nor this one"});
  fake.ui.answers = {true, false};
  CPatchFileList list(fake.Get());
  EXPECT_FALSE(Compare(list, entries));

  const auto questions = fake.ui.Questions();
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0].caption, "b.pkg");
  EXPECT_EQ(questions[1].caption, "c.pkg");
  // The fourth record was never read: not in the total, not compared, not opened.
  EXPECT_EQ(list.GetTotalBytes(),
            DataSize(entries[0]) + DataSize(entries[1]) + DataSize(entries[2]));
  EXPECT_FALSE(fake.trace.Contains("d.pkg")) << fake.trace.Dump();
  EXPECT_EQ(faulty.Calls(CFaultFileSystem::kOpenRead), 3);
  EXPECT_EQ(Names(list), std::vector<std::string>{"a.pkg"});
}

TEST_F(PatchFileListTest, EntriesThatAreNotDeltasOfAnInstalledArchiveAreTakenUntested) {
  // None of these opens a file, traces a line or asks, whatever is installed.
  const struct {
    const char* what;
    TestEntry entry;
  } kCases[] = {
      {"upper-case extension", ArchiveEntry("CHAR1.PKG", std::string(32, '1'))},
      {"mixed-case extension", ArchiveEntry("char1.Pkg", std::string(32, '1'))},
      {"empty old digest", ArchiveEntry("char1.pkg", "")},
      {"whole-file entry named like an archive",
       WholeFileEntry("char1.pkg", "zip", std::string(32, '1'))},
      {"no extension", ArchiveEntry("char1", std::string(32, '1'))},
      {"dot only in the folder part", ArchiveEntry("data.pkg\\char1", std::string(32, '1'))},
      {"another extension", ArchiveEntry("char1.pkgx", std::string(32, '1'))},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    CFakePlatform local;
    CMemoryFileSystem files;
    CFaultFileSystem watched(files);
    local.files = &watched;
    CPatchFileList list(local.Get());
    const CTestPackage p = BuildTestPackage({c.entry});
    ASSERT_TRUE(
        list.CompareLocalFiles(kWindow, p.bytes.data(), static_cast<uint32_t>(p.bytes.size())));
    std::vector<std::string> names;
    list.CopyNames(names);
    EXPECT_EQ(names, std::vector<std::string>{c.entry.name});
    EXPECT_EQ(list.GetTotalBytes(), DataSize(c.entry));
    EXPECT_EQ(watched.Calls(CFaultFileSystem::kOpenRead), 0);
    EXPECT_TRUE(local.ui.Questions().empty());
    EXPECT_EQ(local.trace.Lines(), std::vector<std::string>{"To Compare File Start .."});
  }
}

TEST_F(PatchFileListTest, ArchiveAlreadyAtTheNewVersionIsLeftOutWithoutAQuestion) {
  const std::string newDigest = Install("char1.pkg", {"the new index"});
  const std::vector<TestEntry> entries = {
      ArchiveEntry("char1.pkg", std::string(32, 'a'), newDigest, 64),
      ArchiveEntry("char2.pkg", Install("char2.pkg", {"old"}), std::string(32, 'e'), 8),
  };
  CPatchFileList list(fake.Get());
  ASSERT_TRUE(Compare(list, entries));

  EXPECT_EQ(Names(list), std::vector<std::string>{"char2.pkg"});
  EXPECT_TRUE(fake.ui.Questions().empty());
  EXPECT_EQ(list.GetPatchedBytes(), DataSize(entries[0]));
  EXPECT_EQ(list.GetTotalBytes(), DataSize(entries[0]) + DataSize(entries[1]));
  EXPECT_EQ(
      fake.trace.Lines(),
      (std::vector<std::string>{"To Compare File Start ..", "char1.pkg file is compared..",
                                "char1.pkg is already patched..", "char2.pkg file is compared.."}));
}

TEST_F(PatchFileListTest, MissingArchiveIsNeverTakenAsPatchedEvenWithAnEmptyNewDigest) {
  const std::vector<TestEntry> entries = {ArchiveEntry("char1.pkg", std::string(32, 'a'), "")};
  fake.ui.answers = {true};
  CPatchFileList list(fake.Get());
  ASSERT_TRUE(Compare(list, entries));
  EXPECT_EQ(fake.ui.Questions().size(), 1u);
  EXPECT_EQ(list.GetPatchedBytes(), 0u);
  EXPECT_FALSE(fake.trace.Contains("already patched")) << fake.trace.Dump();
}

TEST_F(PatchFileListTest, OldDigestWinsWhenBothDigestsMatch) {
  const std::string digest = Install("same.pkg", {"unchanged index"});
  CPatchFileList list(fake.Get());
  ASSERT_TRUE(Compare(list, {ArchiveEntry("same.pkg", digest, digest)}));
  EXPECT_EQ(Names(list), std::vector<std::string>{"same.pkg"});
  EXPECT_EQ(list.GetPatchedBytes(), 0u);
}

TEST_F(PatchFileListTest, DamagedInstalledArchiveIsAskedAbout) {
  const CTestArchive a = BuildTestArchive({"alpha", "beta"});
  const std::string digest = Md5Of(a.index);
  memory.Put("/client/char1.pkg", a.bytes.substr(0, a.bytes.size() - 2));
  fake.ui.answers = {false};
  CPatchFileList list(fake.Get());
  EXPECT_FALSE(Compare(list, {ArchiveEntry("char1.pkg", digest, digest)}));
  EXPECT_EQ(fake.ui.Questions().size(), 1u);
  EXPECT_TRUE(fake.trace.Contains("LocalFile: /client/char1.pkg is damaged")) << fake.trace.Dump();
}

TEST_F(PatchFileListTest, PackageThatEndsInsideAnEntryStopsTheWalk) {
  // Not a package that the loader lets through; the walk must still end cleanly.
  CTestPackage p =
      BuildTestPackage({WholeFileEntry("a.dll", "zip"), WholeFileEntry("b.dll", "zip")});
  p.bytes.resize(p.recordOffsets[1] + 500);
  CPatchFileList list(fake.Get());
  EXPECT_FALSE(
      list.CompareLocalFiles(kWindow, p.bytes.data(), static_cast<uint32_t>(p.bytes.size())));
  EXPECT_TRUE(fake.trace.Contains("ends inside entry 1")) << fake.trace.Dump();
  EXPECT_EQ(Names(list), std::vector<std::string>{"a.dll"});
}
