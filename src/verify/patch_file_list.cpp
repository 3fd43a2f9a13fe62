#include "verify/patch_file_list.h"

#include "package/memory_stream.h"
#include "package/package_format.h"
#include "package/package_walk.h"
#include "platform/path.h"
#include "verify/archive_digest.h"

namespace {

const char kDifferentQuestion[] =
    "This file is different with PatchFile.\nDo you want to continue patch ?";

// An entry is compared when it is a delta against an installed archive: an archive
// name (the extension matched byte for byte), more than the one block of a whole-file
// entry, and a digest of the version it was made against.
bool IsComparedEntry(const PatchEntryRecord& record, const std::string& name,
                     const std::string& oldDigest) {
  return ExtensionOf(name) == kArchiveExtension && record.blockCount > 1 && !oldDigest.empty();
}

}  // namespace

bool CPatchFileList::CompareLocalFiles(WindowHandle owner, const uint8_t* package, uint32_t size) {
  CTrace& trace = *m_platform.trace;
  // A cursor of its own: the run's cursors are left where they are.
  CMemoryInputStream in(package, size);
  uint32_t entryCount = 0;
  if (!ReadEntryCount(in, &entryCount)) {
    trace.Line("The patch package ends before its entry count.");
    return false;
  }
  trace.Line("To Compare File Start ..");

  for (uint32_t i = 0; i < entryCount; ++i) {
    PatchEntryRecord record;
    if (!ReadEntryRecord(in, &record)) {
      trace.Line("The patch package ends inside entry " + std::to_string(i) + ".");
      return false;
    }
    m_totalBytes += record.dataSize;  // wraps modulo 2^32 like the progress counters
    const std::string name = RecordName(record);
    const std::string oldDigest = RecordOldDigest(record);

    if (IsComparedEntry(record, name, oldDigest)) {
      trace.Line(name + " file is compared..");
      const std::string local = GetArchiveDigest(*m_platform.files, trace, name);
      if (local == oldDigest) {
        m_names.push_back(name);
      } else if (!local.empty() && local == RecordNewDigest(record)) {
        // An earlier run got this far: nothing to do, and nothing to ask.
        trace.Line(name + " is already patched..");
        m_patchedBytes += record.dataSize;
      } else if (!m_platform.ui->AskYesNo(owner, kDifferentQuestion, name)) {
        return false;
      }
    } else {
      m_names.push_back(name);
    }

    // The block table and the data area are not needed here.
    PatchBlock block0;
    if (!SkipEntryRest(in, record, &block0)) {
      trace.Line("The patch package ends inside entry " + std::to_string(i) + ".");
      return false;
    }
  }
  return true;
}

void CPatchFileList::CopyNames(std::vector<std::string>& names) const {
  names.insert(names.end(), m_names.begin(), m_names.end());
}
