#include "package/package_walk.h"

#include "package/coding.h"

bool ReadEntryCount(std::istream& in, uint32_t* count) {
  uint8_t bytes[kEntryCountSize] = {};
  in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  *count = DecodeFixed32(bytes);
  return !in.fail();
}

bool ReadEntryRecord(std::istream& in, PatchEntryRecord* record) {
  in.read(reinterpret_cast<char*>(record), sizeof *record);
  return !in.fail();
}

bool ReadBlockHeader(std::istream& in, PatchBlock* block) {
  in.read(reinterpret_cast<char*>(block), sizeof *block);
  return !in.fail();
}

bool SkipEntryRest(std::istream& in, const PatchEntryRecord& record, PatchBlock* block) {
  if (!ReadBlockHeader(in, block)) return false;
  const uint64_t next = uint64_t{block->offset} + record.dataSize;
  in.seekg(static_cast<std::streamoff>(next));
  return !in.fail();
}
