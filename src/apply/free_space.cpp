// The free-space check before the first temporary file is written: every listed entry's
// new file exists beside the old one until the second pass, so the volume must hold all of
// them at once. A run that cannot fit writes nothing at all.

#include <set>

#include "package/memory_stream.h"
#include "package/package_walk.h"
#include "run/patch_run.h"

uint64_t CPatchRun::NewBytesOf(const std::vector<std::string>& names) const {
  const std::set<std::string> listed(names.begin(), names.end());
  CMemoryInputStream in(m_pPackage, m_packageSize);
  uint32_t count = 0;
  ReadEntryCount(in, &count);
  uint64_t total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    PatchEntryRecord record;
    PatchBlock block;
    if (!ReadEntryRecord(in, &record)) break;
    if (listed.count(RecordName(record)) == 0) {
      if (!SkipEntryRest(in, record, &block)) break;
      continue;
    }
    // The new file is the concatenation of all its blocks.
    for (uint32_t b = 0; b < record.blockCount && ReadBlockHeader(in, &block); ++b) {
      total += block.size;
    }
    in.seekg(static_cast<std::streamoff>(in.tellg()) + record.dataSize);
  }
  return total;
}

bool CPatchRun::EnoughFreeSpace(const std::vector<std::string>& names) {
  if (names.empty()) return true;
  const uint64_t needed = NewBytesOf(names);
  uint64_t available = 0;
  const CResult r = m_platform.files->FreeSpace(g_installFolder, &available);
  if (!r.ok()) {
    // Not knowing is no reason to refuse: the writes are checked one by one anyway.
    m_platform.trace->Line("The free space cannot be determined (" + r.message() +
                           "); patching anyway.");
    return true;
  }
  if (available >= needed) return true;
  m_platform.trace->Line("Not enough free space in " + g_installFolder + ": the patch needs " +
                         std::to_string(needed) + " bytes, " + std::to_string(available) +
                         " are free. Nothing was changed.");
  return false;
}
