#pragma once

// Small ".pkg" archives for tests: a 32-byte header whose u32 at byte 20 is the offset of
// the index, member bytes, then the index (a 12-byte head: 0, record count, index length;
// then each record as a u32 length and its bytes).

#include <cstdint>
#include <string>
#include <vector>

struct CTestArchive {
  std::string bytes;
  std::string index;  // head and records: the bytes the index digest covers
  uint32_t indexOffset = 0;
};

CTestArchive BuildTestArchive(const std::vector<std::string>& records,
                              const std::string& members = "member bytes that the digest skips");

// Four bytes, little-endian.
std::string U32Bytes(uint32_t value);

// MD5 text of `bytes`.
std::string Md5Of(const std::string& bytes);
