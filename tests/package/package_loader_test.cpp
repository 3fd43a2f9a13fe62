// LoadPackage: finding the package, the status text, validation before use, the cursors.

#include <gtest/gtest.h>

#include "package/coding.h"
#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "support/patch_run_access.h"
#include "support/test_package.h"


namespace {

class PackageLoaderTest : public ::testing::Test {
 protected:
  PackageLoaderTest() { fake.files = &memory; }
  CMemoryFileSystem memory;
  CFakePlatform fake;
};

std::vector<TestEntry> TwoEntries() {
  std::vector<TestEntry> entries(2);
  entries[0].name = "a.pkg";
  entries[0].blocks = {TestBlock::Package("HEAD"), TestBlock::Local(4, 4)};
  entries[1].name = "b.txt";
  entries[1].blocks = {TestBlock::Package("zip")};
  return entries;
}

}  // namespace

TEST_F(PackageLoaderTest, MissingPackageFailsWithoutStatusText) {
  fake.package.mode = CPackageSource::EFind::kMissing;
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.LoadPackage());
  EXPECT_EQ(run.Status().GetText(), "");
  EXPECT_EQ(CPatchRunTestAccess::EntryStream(run), nullptr);
  EXPECT_TRUE(fake.trace.Contains("No patch package found"));
}

TEST_F(PackageLoaderTest, UnloadablePackageFailsWithoutStatusText) {
  fake.package.mode = CPackageSource::EFind::kNotLoadable;
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.LoadPackage());
  EXPECT_EQ(run.Status().GetText(), "");
}

TEST_F(PackageLoaderTest, UnlockablePackageSetsTheTextThenFails) {
  fake.package.bytes = BuildTestPackage(TwoEntries()).bytes;
  fake.package.nullPointer = true;
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.LoadPackage());
  EXPECT_EQ(run.Status().GetText(), "Creating PatchData....");
}

TEST_F(PackageLoaderTest, InvalidPackageFailsWithOneTraceLineNamingEntryAndRule) {
  CTestPackage p = BuildTestPackage(TwoEntries());
  PutU32(p.bytes, p.recordOffsets[1] + offsetof(PatchEntryRecord, blockCount), 0);
  fake.package.bytes = p.bytes;
  CPatchRun run(fake.Get());
  EXPECT_FALSE(run.LoadPackage());
  ASSERT_EQ(fake.trace.Lines().size(), 1u) << fake.trace.Dump();
  EXPECT_EQ(fake.trace.Lines()[0], "invalid package: entry 1 \"b.txt\": blockCount is 0");
  EXPECT_TRUE(memory.Paths().empty());
}

TEST_F(PackageLoaderTest, ValidPackageLoadsAndIsReadInPlace) {
  fake.package.bytes = BuildTestPackage(TwoEntries()).bytes;
  CPatchRun run(fake.Get());
  ASSERT_TRUE(run.LoadPackage());
  EXPECT_EQ(run.Status().GetText(), "Creating PatchData....");
  EXPECT_EQ(fake.package.loads, 1);
  EXPECT_TRUE(fake.trace.Lines().empty());
  EXPECT_EQ(CPatchRunTestAccess::Package(run), fake.package.bytes.data());
  EXPECT_EQ(CPatchRunTestAccess::PackageSize(run), fake.package.bytes.size());

  CMemoryInputStream* entries = CPatchRunTestAccess::EntryStream(run);
  CMemoryInputStream* data = CPatchRunTestAccess::DataStream(run);
  ASSERT_NE(entries, nullptr);
  ASSERT_NE(data, nullptr);
  uint8_t count[4];
  ASSERT_TRUE(entries->read(reinterpret_cast<char*>(count), 4));
  EXPECT_EQ(DecodeFixed32(count), 2u);
  EXPECT_EQ(data->tellg(), 0);  // the data cursor does not move with the entry cursor
  entries->seekg(fake.package.bytes.size());
  char record[1100];
  entries->read(record, sizeof record);
  EXPECT_TRUE(entries->fail());
  EXPECT_EQ(entries->gcount(), 0);
}
