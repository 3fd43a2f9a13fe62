#pragma once

// Tests' view of CPatchRun's private state (CPatchRunTestAccess is its friend). Every
// test file that needs it includes this header, so that the class has one definition.

#include <cstdint>
#include <ios>

#include "package/package_walk.h"
#include "run/patch_run.h"

class CPatchRunTestAccess {
 public:
  static CMemoryInputStream* EntryStream(CPatchRun& r) { return r.m_pEntryStream.get(); }
  static CMemoryInputStream* DataStream(CPatchRun& r) { return r.m_pDataStream.get(); }
  static const uint8_t* Package(CPatchRun& r) { return r.m_pPackage; }
  static uint32_t PackageSize(CPatchRun& r) { return r.m_packageSize; }
  static const PatchEntryRecord& Entry(CPatchRun& r) { return r.m_entry; }
  static const PatchBlock& Block(CPatchRun& r) { return r.m_block; }
  static COldFileReader& OldFile(CPatchRun& r) { return r.m_oldFile; }
  static CPatchStatus& Status(CPatchRun& r) { return r.m_status; }

  // Sets the run up as the apply loop does before it writes an entry: the record at
  // `recordOffset` read into m_entry, the entry cursor at the first block header.
  static bool ReadEntryAt(CPatchRun& r, uint64_t recordOffset) {
    r.m_pEntryStream->clear();
    r.m_pEntryStream->seekg(static_cast<std::streamoff>(recordOffset));
    return ReadEntryRecord(*r.m_pEntryStream, &r.m_entry);
  }
};
