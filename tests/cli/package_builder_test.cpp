#include "cli/package_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli/file_digests.h"
#include "cli/sample_client.h"
#include "package/package_check.h"
#include "run/patch_run.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "verify/md5.h"

namespace {

class PackageBuilderTest : public ::testing::Test {
 protected:
  PackageBuilderTest() : client(MakeSampleClient(7)) {
    WriteClient(dir, "old", client.oldFiles);
    WriteClient(dir, "new", client.newFiles);
  }

  CResult Build(const std::string& output, CBuildReport* report) {
    CBuildOptions options;
    options.oldFolder = dir.Path("old");
    options.newFolder = dir.Path("new");
    options.output = output;
    CFileDigests digests(*DefaultFileSystem());
    return BuildPackage(*DefaultFileSystem(), digests, options, report);
  }

  std::vector<uint8_t> Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  // One patch run of `package` over dir.Path(folder), answering every question with
  // `answer`. Returns the posted result.
  uintptr_t Apply(const std::vector<uint8_t>& package, const std::string& folder) {
    CFakePlatform fake;
    fake.package.bytes = package;
    CPatchRun run(fake.Get());
    run.PresetInstallFolder(dir.Path(folder) + "/");
    EXPECT_TRUE(run.Start(nullptr, kResultMessage));
    EXPECT_TRUE(fake.ui.WaitForResult());
    run.FinishOrExit(1);
    const auto posted = fake.ui.PostedResults();
    EXPECT_EQ(posted.size(), 1u) << fake.trace.Dump();
    EXPECT_TRUE(fake.ui.Questions().empty()) << fake.trace.Dump();
    return posted.empty() ? kResultFailed : posted[0].wParam;
  }

  CTempDir dir;
  CSampleClient client;
};

TEST_F(PackageBuilderTest, BuildThenApplyGivesTheNewClientByteForByte) {
  CBuildReport report;
  const CResult r = Build(dir.Path("patch.pkgdata"), &report);
  ASSERT_TRUE(r.ok()) << r.message();
  const std::vector<uint8_t> package = Load(dir.Path("patch.pkgdata"));
  EXPECT_EQ(report.packageSize, package.size());

  const CPackageCheck check = ValidatePackage(package.data(), package.size());
  ASSERT_TRUE(check.ok) << check.Describe();
  std::map<std::string, CPackageEntryInfo> entries;
  for (const CPackageEntryInfo& e : check.entries) entries[e.name] = e;
  // Unchanged files are left out; names use the client's folder separator.
  EXPECT_EQ(entries.count("sound.pkg"), 0u);
  EXPECT_EQ(entries.count("config.ini"), 0u);
  EXPECT_EQ(report.unchanged, 2u);
  EXPECT_EQ(entries.size(), 8u);
  ASSERT_EQ(entries.count("data\\map2.pkg"), 1u);
  ASSERT_EQ(entries.count("bin\\render.dll"), 1u);
  // Archives present in both versions are deltas that mostly copy the installed archive.
  const CPackageEntryInfo& map2 = entries["data\\map2.pkg"];
  EXPECT_GT(map2.localBlocks, 30u);
  EXPECT_LT(map2.dataSize, 2000u);
  EXPECT_EQ(map2.oldDigest,
            ArchiveDigestOfFile(*DefaultFileSystem(), dir.Path("old/data/map2.pkg"), nullptr));
  EXPECT_EQ(map2.newDigest,
            ArchiveDigestOfFile(*DefaultFileSystem(), dir.Path("new/data/map2.pkg"), nullptr));
  const CPackageEntryInfo& char1 = entries["char1.pkg"];
  EXPECT_LT(char1.dataSize, 4500u + 100 + 7000 + 1000);
  // A new archive is verified by its new digest; there is nothing to compare before.
  EXPECT_EQ(entries["extra.pkg"].oldDigest, "");
  EXPECT_NE(entries["extra.pkg"].newDigest, "");
  EXPECT_GT(entries["tiny.pkg"].blockCount, 1u);
  // Other files travel whole, their oldDigest the MD5 of the new content.
  EXPECT_EQ(entries["client.exe"].blockCount, 1u);
  EXPECT_EQ(entries["client.exe"].oldDigest, DigestBytes(client.newFiles["client.exe"].data(),
                                                         client.newFiles["client.exe"].size()));
  EXPECT_EQ(entries["client.exe"].newDigest, "");
  ASSERT_EQ(report.oldOnly.size(), 1u);
  EXPECT_EQ(report.oldOnly[0], "retired.dat");

  WriteClient(dir, "install", client.oldFiles);
  EXPECT_EQ(Apply(package, "install"), kResultCompleted);
  std::map<std::string, std::string> expected = client.newFiles;
  expected["retired.dat"] = client.oldFiles["retired.dat"];  // a package cannot remove it
  const std::map<std::string, std::string> installed = ReadClient(dir, "install");
  EXPECT_EQ(installed.size(), expected.size());
  for (const auto& f : expected) {
    auto it = installed.find(f.first);
    ASSERT_NE(it, installed.end()) << f.first;
    EXPECT_TRUE(it->second == f.second) << f.first << " differs from the new version";
  }
}

TEST_F(PackageBuilderTest, SameFoldersGiveTheSameBytes) {
  CBuildReport report;
  ASSERT_TRUE(Build(dir.Path("one.pkgdata"), &report).ok());
  // Rewriting the new files changes their time stamps but not their content.
  WriteClient(dir, "new", client.newFiles);
  ASSERT_TRUE(Build(dir.Path("two.pkgdata"), &report).ok());
  EXPECT_TRUE(Load(dir.Path("one.pkgdata")) == Load(dir.Path("two.pkgdata")));
}

TEST_F(PackageBuilderTest, FailedBuildLeavesNoPackage) {
  struct Case {
    const char* what;
    std::function<void(CBuildOptions&)> change;
  } cases[] = {
      {"missing new folder", [&](CBuildOptions& o) { o.newFolder = dir.Path("absent"); }},
      {"missing old folder", [&](CBuildOptions& o) { o.oldFolder = dir.Path("absent"); }},
      {"names differing only in case",
       [&](CBuildOptions&) { dir.Write("new/README.TXT", "clashes with readme.txt"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CBuildOptions options;
    options.oldFolder = dir.Path("old");
    options.newFolder = dir.Path("new");
    options.output = dir.Path("out.pkgdata");
    c.change(options);
    CFileDigests digests(*DefaultFileSystem());
    CBuildReport report;
    const CResult r = BuildPackage(*DefaultFileSystem(), digests, options, &report);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.message().empty());
    EXPECT_FALSE(dir.Exists("out.pkgdata"));
    EXPECT_FALSE(dir.Exists("out.pkgdata.partial"));
  }
}

TEST_F(PackageBuilderTest, IdenticalFoldersGiveAnEmptyPackage) {
  WriteClient(dir, "same", client.oldFiles);
  CBuildOptions options;
  options.oldFolder = dir.Path("old");
  options.newFolder = dir.Path("same");
  options.output = dir.Path("empty.pkgdata");
  CFileDigests digests(*DefaultFileSystem());
  CBuildReport report;
  ASSERT_TRUE(BuildPackage(*DefaultFileSystem(), digests, options, &report).ok());
  const std::vector<uint8_t> package = Load(options.output);
  const CPackageCheck check = ValidatePackage(package.data(), package.size());
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.entryCount, 0u);
  EXPECT_EQ(report.unchanged, client.oldFiles.size());
}

}  // namespace
