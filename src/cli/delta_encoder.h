#pragma once

// The delta encoder of the package builder: describes a new archive as a list of blocks,
// each either a stretch of the old archive (a local block) or new bytes that the package
// must carry (a package block). The client rebuilds the new archive by concatenating the
// blocks in order.
//
// Matching: the old archive is cut into aligned windows of `blockSize` bytes whose rolling
// hashes go into a table; the new archive is scanned byte by byte with the same rolling
// hash, and every table hit is confirmed by comparing the bytes. A confirmed match is then
// extended byte-exactly backwards (up to the last emitted block) and forwards, so an
// unchanged stretch becomes one local block at whatever offset it lies in either file.
// Between hash hits the scan also tries the diagonal of the previous match (the same
// distance between new and old offsets), which finds stretches that follow an in-place
// substitution even when they are shorter than two hash windows.
//
// Both files are read through bounded buffers, never held whole; memory is the hash table
// (24 bytes per window of the old file, plus 8 bytes of filter) and about 20 MiB of
// buffers.

#include <cstdint>
#include <vector>

#include "platform/platform.h"

struct CDeltaBlock {
  bool fromPackage = false;
  // Local block: offset in the old file. Package block: offset in the NEW file of the
  // bytes that the package carries (the package writer turns it into a package offset).
  uint64_t offset = 0;
  uint32_t size = 0;

  bool operator==(const CDeltaBlock& o) const {
    return fromPackage == o.fromPackage && offset == o.offset && size == o.size;
  }
};

struct CDeltaOptions {
  // Bytes per hashed window of the old file; 0 picks one from the old file's size.
  uint32_t blockSize = 0;
  // The first `headerSize` bytes of the new file always form block 0, a package block.
  uint32_t headerSize = 32;
  // No block is larger than this: the client moves each block through one buffer.
  uint32_t maxBlockSize = 16u << 20;
  // Shortest stretch taken from the old file. A local block between two package blocks
  // costs two 12-byte block headers, so shorter matches would not pay for themselves.
  uint32_t minMatch = 32;
};

struct CDeltaStats {
  uint64_t newBytes = 0;      // bytes carried by package blocks
  uint64_t copiedBytes = 0;   // bytes taken from the old file
  uint32_t blockSize = 0;     // window size actually used
  uint64_t tableEntries = 0;  // distinct windows of the old file in the table
};

// The window size chosen for an old file of `oldSize` bytes when none is given.
uint32_t ChooseDeltaBlockSize(uint64_t oldSize);

// Encodes `newFile` against `oldFile`. On success `*blocks` holds at least two blocks
// (an empty local block is appended when the new file is no longer than its header),
// block 0 is the header, every local block's offset fits in 32 bits, and the sizes add up
// to the new file's size. Fails only when a file cannot be read.
CResult EncodeDelta(CReadableFile& oldFile, CReadableFile& newFile, const CDeltaOptions& options,
                    std::vector<CDeltaBlock>* blocks, CDeltaStats* stats = nullptr);
