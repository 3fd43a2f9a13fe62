#include "package/package_format.h"

#include <algorithm>

#include "package/coding.h"

bool IsDigestText(const std::string& digest) {
  if (digest.size() != kDigestTextLength) return false;
  for (char c : digest) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void EncodeEntryRecord(uint8_t* out, const std::string& name, const std::string& oldDigest,
                       const std::string& newDigest, uint32_t dataSize, uint32_t blockCount) {
  std::memset(out, 0, kEntryRecordSize);
  std::memcpy(out + offsetof(PatchEntryRecord, name), name.data(),
              std::min(name.size(), kNameSize - 1));
  std::memcpy(out + offsetof(PatchEntryRecord, oldDigest), oldDigest.data(),
              std::min(oldDigest.size(), kDigestFieldSize - 1));
  std::memcpy(out + offsetof(PatchEntryRecord, newDigest), newDigest.data(),
              std::min(newDigest.size(), kDigestFieldSize - 1));
  EncodeFixed32(out + offsetof(PatchEntryRecord, dataSize), dataSize);
  EncodeFixed32(out + offsetof(PatchEntryRecord, blockCount), blockCount);
}

void EncodeBlock(uint8_t* out, bool fromPackage, uint32_t offset, uint32_t size) {
  std::memset(out, 0, kBlockSize);
  out[0] = fromPackage ? 1 : 0;
  EncodeFixed32(out + 4, offset);
  EncodeFixed32(out + 8, size);
}
