#include "support/test_package.h"

#include "package/coding.h"
#include "package/package_format.h"

TestBlock TestBlock::Package(std::string content) {
  TestBlock b;
  b.fromPackage = true;
  b.size = static_cast<uint32_t>(content.size());
  b.bytes = std::move(content);
  return b;
}

TestBlock TestBlock::Local(uint32_t offset, uint32_t size) {
  TestBlock b;
  b.fromPackage = false;
  b.offset = offset;
  b.size = size;
  return b;
}

CTestPackage BuildTestPackage(const std::vector<TestEntry>& entries) {
  CTestPackage p;
  p.bytes.resize(kEntryCountSize);
  EncodeFixed32(p.bytes.data(), static_cast<uint32_t>(entries.size()));
  for (const TestEntry& e : entries) {
    std::string data;
    for (const TestBlock& b : e.blocks) {
      if (b.fromPackage) data += b.bytes;
    }
    const uint64_t record = p.bytes.size();
    const uint64_t table = record + kEntryRecordSize;
    const uint64_t dataStart = table + kBlockSize * e.blocks.size();
    p.recordOffsets.push_back(record);
    p.tableOffsets.push_back(table);
    p.dataOffsets.push_back(dataStart);

    p.bytes.resize(dataStart + data.size());
    EncodeEntryRecord(p.bytes.data() + record, e.name, e.oldDigest, e.newDigest,
                      static_cast<uint32_t>(data.size()), static_cast<uint32_t>(e.blocks.size()));
    uint64_t cursor = dataStart;
    for (size_t i = 0; i < e.blocks.size(); ++i) {
      const TestBlock& b = e.blocks[i];
      uint8_t* header = p.bytes.data() + table + kBlockSize * i;
      if (b.fromPackage) {
        EncodeBlock(header, true, static_cast<uint32_t>(cursor), b.size);
        cursor += b.size;
      } else {
        EncodeBlock(header, false, b.offset, b.size);
      }
    }
    std::copy(data.begin(), data.end(), p.bytes.begin() + static_cast<ptrdiff_t>(dataStart));
  }
  return p;
}

TestEntry WholeFileEntry(const std::string& name, const std::string& zipBytes,
                         const std::string& oldDigest) {
  TestEntry e;
  e.name = name;
  e.oldDigest = oldDigest;
  e.blocks.push_back(TestBlock::Package(zipBytes));
  return e;
}

void PutU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
  EncodeFixed32(bytes.data() + offset, value);
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, uint64_t offset) {
  return DecodeFixed32(bytes.data() + offset);
}
