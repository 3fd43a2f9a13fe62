#pragma once

// Where a package rides inside an executable on platforms without resources: appended
// to the executable file and followed by a fixed trailer
//
//   [executable bytes][package bytes][u64 package size][8-byte magic]
//
// so that a reader finds it from the end of its own file. On Windows the package is
// the resource of type "DAT" with identifier 136 instead.

#include <cstdint>
#include <cstring>

#include "package/coding.h"

constexpr char kEmbeddedMagic[8] = {'M', 'R', 'P', 'K', 'G', 'E', 'N', 'D'};
constexpr size_t kEmbeddedTrailerSize = 16;
constexpr const char* kPackageResourceType = "DAT";
constexpr int kPackageResourceId = 136;

inline void EncodeEmbeddedTrailer(uint8_t* out, uint64_t packageSize) {
  EncodeFixed64(out, packageSize);
  std::memcpy(out + 8, kEmbeddedMagic, 8);
}

// Given the last 16 bytes of a file of `fileSize` bytes, finds the package. Returns false
// when there is no trailer or it claims more bytes than the file holds.
inline bool DecodeEmbeddedTrailer(const uint8_t* trailer, uint64_t fileSize,
                                  uint64_t* packageOffset, uint64_t* packageSize) {
  if (fileSize < kEmbeddedTrailerSize) return false;
  if (std::memcmp(trailer + 8, kEmbeddedMagic, 8) != 0) return false;
  const uint64_t size = DecodeFixed64(trailer);
  if (size > fileSize - kEmbeddedTrailerSize) return false;
  *packageSize = size;
  *packageOffset = fileSize - kEmbeddedTrailerSize - size;
  return true;
}
