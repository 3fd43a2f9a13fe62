#include "package/package_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "package/package_format.h"
#include "support/test_package.h"

namespace {

const std::string kDigestA(32, 'a');
const std::string kDigestB(32, 'b');

std::vector<TestEntry> ValidEntries() {
  std::vector<TestEntry> entries(2);
  entries[0].name = "a.pkg";
  entries[0].oldDigest = kDigestA;
  entries[0].newDigest = kDigestB;
  entries[0].blocks = {TestBlock::Package(std::string(32, 'H')), TestBlock::Local(0, 10),
                       TestBlock::Package("new"), TestBlock::Local(10, 5)};
  entries[1] = WholeFileEntry("data\\b.bin", "zip bytes", kDigestA);
  return entries;
}

// Offsets inside a built package.
uint64_t Field(const CTestPackage& p, size_t entry, size_t offset) {
  return p.recordOffsets[entry] + offset;
}
uint64_t Block(const CTestPackage& p, size_t entry, size_t block, size_t field) {
  return p.tableOffsets[entry] + kBlockSize * block + field;
}

void SetName(CTestPackage& p, size_t entry, const std::string& name) {
  uint8_t* field = p.bytes.data() + Field(p, entry, offsetof(PatchEntryRecord, name));
  std::memset(field, 0, kNameSize);
  std::memcpy(field, name.data(), name.size());
}

}  // namespace

TEST(PackageCheck, ValidPackagePassesAndDescribesItsEntries) {
  const CTestPackage p = BuildTestPackage(ValidEntries());
  const CPackageCheck check = ValidatePackage(p.bytes.data(), p.bytes.size());
  ASSERT_TRUE(check.ok) << check.Describe();
  EXPECT_EQ(check.entryCount, 2u);
  ASSERT_EQ(check.entries.size(), 2u);
  const CPackageEntryInfo& a = check.entries[0];
  EXPECT_EQ(a.name, "a.pkg");
  EXPECT_EQ(a.oldDigest, kDigestA);
  EXPECT_EQ(a.newDigest, kDigestB);
  EXPECT_EQ(a.dataSize, 35u);
  EXPECT_EQ(a.blockCount, 4u);
  EXPECT_EQ(a.packageBlocks, 2u);
  EXPECT_EQ(a.localBlocks, 2u);
  EXPECT_EQ(a.newFileSize, 32u + 10 + 3 + 5);
  EXPECT_EQ(a.recordOffset, 4u);
  EXPECT_EQ(check.entries[1].name, "data\\b.bin");
  EXPECT_EQ(check.entries[1].recordOffset, p.recordOffsets[1]);
}

TEST(PackageCheck, EmptyPackageWithNoEntriesIsValid) {
  const CTestPackage p = BuildTestPackage({});
  const CPackageCheck check = ValidatePackage(p.bytes.data(), p.bytes.size());
  EXPECT_TRUE(check.ok) << check.Describe();
  EXPECT_TRUE(check.entries.empty());
}

// One row per rule: a valid package broken in one place, and what must be reported.
TEST(PackageCheck, RefusesEveryBrokenRule) {
  struct Row {
    const char* what;
    std::function<void(CTestPackage&)> breakIt;
    int64_t entry;
    const char* rule;
  };
  const Row rows[] = {
      {"shorter than the entry count", [](CTestPackage& p) { p.bytes.resize(3); },
       CPackageCheck::kNoEntry, "shorter than its 4-byte entry count"},
      {"entry count larger than the entries", [](CTestPackage& p) { PutU32(p.bytes, 0, 3); },
       CPackageCheck::kNoEntry, "entryCount is 3 but the package holds 2 entries"},
      {"entry count smaller than the entries", [](CTestPackage& p) { PutU32(p.bytes, 0, 1); },
       CPackageCheck::kNoEntry, "follow the last of the 1 entries"},
      {"bytes after the last entry", [](CTestPackage& p) { p.bytes.push_back(0); },
       CPackageCheck::kNoEntry, "1 bytes follow the last of the 2 entries"},
      {"record cut short",
       [](CTestPackage& p) { p.bytes.resize(p.recordOffsets[1] + 500); }, 1,
       "entry record runs past the end"},
      {"name without NUL",
       [](CTestPackage& p) { SetName(p, 1, std::string(kNameSize, 'x')); }, 1,
       "no terminating NUL within 1024 bytes"},
      {"empty name", [](CTestPackage& p) { SetName(p, 1, ""); }, 1, "name is empty"},
      {"name climbing out of the folder", [](CTestPackage& p) { SetName(p, 1, "..\\evil.dll"); },
       1, "'..' component"},
      {"absolute name", [](CTestPackage& p) { SetName(p, 0, "/etc/passwd"); }, 0,
       "absolute path"},
      {"drive prefix", [](CTestPackage& p) { SetName(p, 0, "C:evil.pkg"); }, 0,
       "drive prefix"},
      {"alternate data stream", [](CTestPackage& p) { SetName(p, 0, "a.pkg:stream"); }, 0,
       "contains ':'"},
      {"oldDigest without NUL",
       [](CTestPackage& p) {
         std::memset(p.bytes.data() + Field(p, 0, offsetof(PatchEntryRecord, oldDigest)), 'a',
                     kDigestFieldSize);
       },
       0, "oldDigest has no terminating NUL"},
      {"newDigest without NUL",
       [](CTestPackage& p) {
         std::memset(p.bytes.data() + Field(p, 1, offsetof(PatchEntryRecord, newDigest)), 'b',
                     kDigestFieldSize);
       },
       1, "newDigest has no terminating NUL"},
      {"two entries for one file", [](CTestPackage& p) { SetName(p, 1, "A.PKG"); }, 1,
       "repeats the name of entry 0"},
      {"no blocks",
       [](CTestPackage& p) {
         PutU32(p.bytes, Field(p, 1, offsetof(PatchEntryRecord, blockCount)), 0);
       },
       1, "blockCount is 0"},
      {"block table past the end",
       [](CTestPackage& p) {
         PutU32(p.bytes, Field(p, 1, offsetof(PatchEntryRecord, blockCount)), 0xFFFFFFFFu);
       },
       1, "block table runs past the end"},
      {"data area past the end",
       [](CTestPackage& p) {
         PutU32(p.bytes, Field(p, 1, offsetof(PatchEntryRecord, dataSize)), 0xFFFFFFFFu);
       },
       1, "data area runs past the end"},
      {"block 0 local", [](CTestPackage& p) { p.bytes[Block(p, 0, 0, 0)] = 0; }, 0,
       "block 0 is not a package block"},
      {"block 0 elsewhere",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 0, 0, 4), GetU32(p.bytes, Block(p, 0, 0, 4)) - 1); },
       0, "block 0 starts at"},
      {"block 0 pointing backwards at the record",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 1, 0, 4), 4); }, 1, "block 0 starts at 4"},
      {"gap between package blocks",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 0, 2, 4), GetU32(p.bytes, Block(p, 0, 2, 4)) + 1); },
       0, "package block 2 starts at"},
      {"package block past the data area",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 0, 2, 8), 100); }, 0,
       "package block 2 runs past the entry's data area"},
      {"package block size wrapping 32 bits",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 0, 2, 8), 0xFFFFFFFFu); }, 0,
       "package block 2 runs past"},
      {"package blocks short of the data area",
       [](CTestPackage& p) { PutU32(p.bytes, Block(p, 0, 2, 8), 2); }, 0,
       "package blocks cover 34 of the 35 bytes"},
  };
  for (const Row& row : rows) {
    CTestPackage p = BuildTestPackage(ValidEntries());
    row.breakIt(p);
    const CPackageCheck check = ValidatePackage(p.bytes.data(), p.bytes.size());
    EXPECT_FALSE(check.ok) << row.what;
    EXPECT_EQ(check.entryIndex, row.entry) << row.what << ": " << check.Describe();
    EXPECT_NE(check.rule.find(row.rule), std::string::npos)
        << row.what << ": got \"" << check.rule << "\"";
  }
}

TEST(PackageCheck, RefusesPackagesOver2GiBWithoutReadingThem) {
  const uint8_t small[4] = {0, 0, 0, 0};
  const CPackageCheck check = ValidatePackage(small, kMaxPackageSize + 1);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.rule.find("larger than 2147483647"), std::string::npos);
}

TEST(PackageCheck, DescribeNamesTheEntryAndTheRule) {
  CTestPackage p = BuildTestPackage(ValidEntries());
  p.bytes[Block(p, 0, 0, 0)] = 0;
  const CPackageCheck check = ValidatePackage(p.bytes.data(), p.bytes.size());
  EXPECT_EQ(check.Describe(), "invalid package: entry 0 \"a.pkg\": block 0 is not a package block");
}

TEST(PackageCheck, EntryNameSafety) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"char1.pkg", true},       {"data\\x.pkg", true},   {"data/sub/x.pkg", true},
      {"..x.pkg", true},         {"x..pkg", true},        {"", false},
      {"\\x.pkg", false},        {"/x.pkg", false},       {"C:\\x.pkg", false},
      {"c:x.pkg", false},        {"a:b", false},          {"..", false},
      {"data\\..\\x", false},    {"data/../../x", false}, {"data\\..", false},
      {"data\\", false},         {"data/", false},        {".temp_a.pkg", false},
      {"x/.temp_a.pkg", false},  {"x\\.temp_", false},    {"a.temp_b", true},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(IsSafeEntryName(c.name, &why), c.safe) << c.name;
    if (!c.safe) {
      EXPECT_FALSE(why.empty()) << c.name;
    }
  }
}
