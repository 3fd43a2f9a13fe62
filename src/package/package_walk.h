#pragma once

// Walking a package with a cursor (see memory_stream.h). Every reader walks the same
// way: the entry count, then per entry its record; an entry that is not built is
// skipped by reading block 0 only and jumping to block 0's offset + dataSize, where the
// next record starts. Each call returns whether the cursor is still good.

#include <cstdint>
#include <istream>

#include "package/package_format.h"

bool ReadEntryCount(std::istream& in, uint32_t* count);
bool ReadEntryRecord(std::istream& in, PatchEntryRecord* record);
bool ReadBlockHeader(std::istream& in, PatchBlock* block);
// From just after `record`: reads block 0 into `*block` and moves to the next record.
bool SkipEntryRest(std::istream& in, const PatchEntryRecord& record, PatchBlock* block);
