#include "verify/test_archive.h"

#include "package/coding.h"
#include "verify/md5.h"

std::string U32Bytes(uint32_t value) {
  uint8_t b[4];
  EncodeFixed32(b, value);
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

std::string Md5Of(const std::string& bytes) { return DigestBytes(bytes.data(), bytes.size()); }

CTestArchive BuildTestArchive(const std::vector<std::string>& records, const std::string& members) {
  CTestArchive a;
  std::string body;
  for (const std::string& r : records) body += U32Bytes(static_cast<uint32_t>(r.size())) + r;
  a.index = U32Bytes(0) + U32Bytes(static_cast<uint32_t>(records.size())) +
            U32Bytes(static_cast<uint32_t>(12 + body.size())) + body;
  a.indexOffset = static_cast<uint32_t>(32 + members.size());
  std::string header(32, '\x5a');  // noise: only bytes 20 to 23 are read
  header.replace(20, 4, U32Bytes(a.indexOffset));
  a.bytes = header + members + a.index;
  return a;
}
