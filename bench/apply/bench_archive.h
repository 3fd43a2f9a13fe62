#pragma once

// Generates, from fixed seeds, an installed archive, the archive after an update, and a
// patch package with one entry that turns the first into the second.

#include <cstdint>
#include <string>

struct CBenchUpdate {
  bool ok = false;
  uint64_t oldSize = 0;
  uint64_t newSize = 0;
  uint64_t packageSize = 0;
  uint32_t oldMembers = 0;
  uint32_t changedMembers = 0;
  uint32_t addedMembers = 0;
  uint32_t localBlocks = 0;
  uint32_t packageBlocks = 0;
  uint64_t smallestLocal = 0;
  uint64_t largestLocal = 0;
  uint64_t largestPackageBlock = 0;
};

// Writes an archive of about `size` bytes to `oldPath`, its updated version to `newPath`
// and the package (entry `name`) to `packagePath`. The archive: a 32-byte header whose
// u32 at byte 20 is the index offset, members of 1 KiB to 40 MiB, and the index at the
// end. The update changes about 3 % of the members, adds about 1 % (one of them over
// 100 MiB), and rewrites the header and the index.
CBenchUpdate GenerateBenchUpdate(uint64_t size, const std::string& oldPath,
                                 const std::string& newPath, const std::string& packagePath,
                                 const std::string& name);
