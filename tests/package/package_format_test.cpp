#include "package/package_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "package/coding.h"

TEST(PackageFormat, EncodedRecordReadsBackThroughTheStruct) {
  uint8_t bytes[kEntryRecordSize];
  EncodeEntryRecord(bytes, "char1.pkg", std::string(32, 'a'), std::string(32, 'b'), 1726823,
                    18105);
  PatchEntryRecord record;
  std::memcpy(&record, bytes, sizeof record);
  EXPECT_EQ(RecordName(record), "char1.pkg");
  EXPECT_EQ(RecordOldDigest(record), std::string(32, 'a'));
  EXPECT_EQ(RecordNewDigest(record), std::string(32, 'b'));
  EXPECT_EQ(record.dataSize, 1726823u);
  EXPECT_EQ(record.blockCount, 18105u);
  // The integers sit at their fixed offsets, little-endian.
  EXPECT_EQ(DecodeFixed32(bytes + 1092), 1726823u);
  EXPECT_EQ(DecodeFixed32(bytes + 1096), 18105u);
}

TEST(PackageFormat, NameEndsAtItsNulWhateverFollows) {
  PatchEntryRecord record;
  std::memset(&record, 0xe5, sizeof record);
  std::memcpy(record.name, "char1.pkg\0garbage", 17);
  EXPECT_EQ(RecordName(record), "char1.pkg");
}

TEST(PackageFormat, EncodedBlockReadsBackThroughTheStruct) {
  uint8_t bytes[kBlockSize];
  EncodeBlock(bytes, true, 218364, 32);
  PatchBlock block;
  std::memcpy(&block, bytes, sizeof block);
  EXPECT_NE(block.fromPackage, 0);
  EXPECT_EQ(block.offset, 218364u);
  EXPECT_EQ(block.size, 32u);
  EncodeBlock(bytes, false, 32, 779);
  std::memcpy(&block, bytes, sizeof block);
  EXPECT_EQ(block.fromPackage, 0);
  EXPECT_EQ(DecodeFixed32(bytes + 4), 32u);
  EXPECT_EQ(DecodeFixed32(bytes + 8), 779u);
}

TEST(PackageFormat, DigestTextIsExactly32LowerCaseHexDigits) {
  struct Case {
    std::string text;
    bool digest;
  } cases[] = {
      {"d41d8cd98f00b204e9800998ecf8427e", true},
      {"D41D8CD98F00B204E9800998ECF8427E", false},
      {"d41d8cd98f00b204e9800998ecf8427", false},
      {"d41d8cd98f00b204e9800998ecf8427e0", false},
      {"g41d8cd98f00b204e9800998ecf8427e", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDigestText(c.text), c.digest) << c.text;
}
