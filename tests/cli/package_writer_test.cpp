#include "cli/package_writer.h"

#include <gtest/gtest.h>

#include <memory>

#include "package/package_check.h"
#include "package/package_format.h"
#include "support/fake_files.h"
#include "support/test_package.h"

namespace {

const std::string kDigestA = "0123456789abcdef0123456789abcdef";
const std::string kDigestB = "fedcba9876543210fedcba9876543210";

class PackageWriterTest : public ::testing::Test {
 protected:
  PackageWriterTest() { memory.Put("source", "HEADER--" + std::string(100, 's') + "tail"); }

  std::unique_ptr<CReadableFile> Source() {
    std::unique_ptr<CReadableFile> f;
    EXPECT_TRUE(memory.OpenRead("source", &f).ok());
    return f;
  }

  std::vector<uint8_t> Written() {
    const std::string s = memory.Get("out");
    return std::vector<uint8_t>(s.begin(), s.end());
  }

  CMemoryFileSystem memory;
  CPackageWriter writer{memory};
};

CPackageEntrySpec ArchiveSpec(const std::string& name) {
  CPackageEntrySpec spec;
  spec.name = name;
  spec.oldDigest = kDigestA;
  spec.newDigest = kDigestB;
  spec.blocks = {{true, 0, 8}, {false, 500, 1000}, {true, 108, 4}, {false, 0, 16}};
  return spec;
}

TEST_F(PackageWriterTest, WritesWhatTheValidatorAccepts) {
  ASSERT_TRUE(writer.Open("out", 2).ok());
  auto source = Source();
  ASSERT_TRUE(writer.Add(ArchiveSpec("data\\a.pkg"), *source).ok());
  CPackageEntrySpec whole;
  whole.name = "readme.txt";
  whole.oldDigest = kDigestA;
  whole.blocks = {{true, 8, 100}};
  ASSERT_TRUE(writer.Add(whole, *source).ok());
  ASSERT_TRUE(writer.Close().ok());

  const std::vector<uint8_t> bytes = Written();
  EXPECT_EQ(writer.size(), bytes.size());
  const CPackageCheck check = ValidatePackage(bytes.data(), bytes.size());
  ASSERT_TRUE(check.ok) << check.Describe();
  ASSERT_EQ(check.entries.size(), 2u);
  const CPackageEntryInfo& a = check.entries[0];
  EXPECT_EQ(a.name, "data\\a.pkg");
  EXPECT_EQ(a.oldDigest, kDigestA);
  EXPECT_EQ(a.newDigest, kDigestB);
  EXPECT_EQ(a.dataSize, 12u);
  EXPECT_EQ(a.packageBlocks, 2u);
  EXPECT_EQ(a.localBlocks, 2u);
  EXPECT_EQ(a.newFileSize, 8u + 1000 + 4 + 16);

  // The data area holds the package blocks' bytes in order, the local blocks keep their
  // offsets in the installed file.
  const uint64_t table = a.recordOffset + kEntryRecordSize;
  const uint64_t data = table + 4 * kBlockSize;
  EXPECT_EQ(std::string(bytes.begin() + data, bytes.begin() + data + 12), "HEADER--tail");
  EXPECT_EQ(GetU32(bytes, table + kBlockSize + 4), 500u);
  EXPECT_EQ(GetU32(bytes, table + 2 * kBlockSize + 4), data + 8);
  EXPECT_EQ(check.entries[1].newDigest, "");
  EXPECT_EQ(check.entries[1].dataSize, 100u);
}

TEST_F(PackageWriterTest, RefusesWhatNoReaderCouldUse) {
  struct Case {
    const char* what;
    CPackageEntrySpec spec;
  };
  std::vector<Case> cases;
  auto with = [](const char* what, auto change) {
    CPackageEntrySpec spec = ArchiveSpec("a.pkg");
    change(spec);
    return Case{what, spec};
  };
  cases.push_back(with("parent folder", [](CPackageEntrySpec& s) { s.name = "..\\a.pkg"; }));
  cases.push_back(with("absolute", [](CPackageEntrySpec& s) { s.name = "/etc/a.pkg"; }));
  cases.push_back(with("too long", [](CPackageEntrySpec& s) { s.name = std::string(1024, 'n'); }));
  cases.push_back(with("upper-case digest", [](CPackageEntrySpec& s) {
    s.oldDigest = "0123456789ABCDEF0123456789ABCDEF";
  }));
  cases.push_back(with("short digest", [](CPackageEntrySpec& s) { s.newDigest = "abc"; }));
  cases.push_back(with("no blocks", [](CPackageEntrySpec& s) { s.blocks.clear(); }));
  cases.push_back(
      with("local block 0", [](CPackageEntrySpec& s) { s.blocks[0].fromPackage = false; }));
  cases.push_back(with("local offset past 4 GiB",
                       [](CPackageEntrySpec& s) { s.blocks[1].offset = uint64_t{1} << 32; }));
  cases.push_back(with("past 2 GiB", [](CPackageEntrySpec& s) {
    s.blocks.push_back(CDeltaBlock{true, 0, 0x7FFFFFF0u});
  }));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(writer.Open("out", 1).ok());
    auto source = Source();
    const CResult r = writer.Add(c.spec, *source);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message().find("out: "), std::string::npos) << r.message();
    // Nothing of the refused entry was written.
    EXPECT_EQ(writer.size(), kEntryCountSize);
    writer.Close();
  }
}

TEST_F(PackageWriterTest, CountMustMatchTheEntriesWritten) {
  ASSERT_TRUE(writer.Open("out", 2).ok());
  auto source = Source();
  ASSERT_TRUE(writer.Add(ArchiveSpec("a.pkg"), *source).ok());
  EXPECT_FALSE(writer.Close().ok());

  ASSERT_TRUE(writer.Open("out", 1).ok());
  ASSERT_TRUE(writer.Add(ArchiveSpec("a.pkg"), *source).ok());
  EXPECT_FALSE(writer.Add(ArchiveSpec("b.pkg"), *source).ok());
  EXPECT_TRUE(writer.Close().ok());
}

TEST_F(PackageWriterTest, SourceEndingEarlyFails) {
  ASSERT_TRUE(writer.Open("out", 1).ok());
  CPackageEntrySpec spec = ArchiveSpec("a.pkg");
  spec.blocks[2] = CDeltaBlock{true, 100, 50};  // the source has 112 bytes
  auto source = Source();
  const CResult r = writer.Add(spec, *source);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.message().find("ended before"), std::string::npos) << r.message();
}

TEST_F(PackageWriterTest, WriteFailuresAreReported) {
  for (CFaultFileSystem::EOp op : {CFaultFileSystem::kOpenWrite, CFaultFileSystem::kAppend}) {
    CFaultFileSystem faults(memory);
    faults.FailAt(op, op == CFaultFileSystem::kAppend ? 2 : 1);
    CPackageWriter w(faults);
    auto source = Source();
    CResult r = w.Open("out", 1);
    if (r.ok()) r = w.Add(ArchiveSpec("a.pkg"), *source);
    EXPECT_FALSE(r.ok()) << op;
  }
}

}  // namespace
