// CPatchRun::ApplyPatch: the apply stage. The first pass writes every listed entry's new
// file under its temporary name while every installed file is still the old one (new
// files are assembled from stretches of them); only then does the second pass
// (ReplacePatchedFiles) put the new files in place.

#include "apply/apply_paths.h"
#include "package/package_walk.h"
#include "run/patch_run.h"

bool CPatchRun::ApplyPatch(std::vector<std::string> names) {
  if (m_pEntryStream == nullptr || m_pDataStream == nullptr) {
    m_platform.trace->Line("The patch package is not loaded: nothing was patched.");
    return false;
  }
  uint32_t entryCount = 0;  // the list drives the walk, not the count
  ReadEntryCount(*m_pEntryStream, &entryCount);
  m_status.SetText("Start Patch.....");

  if (!EnoughFreeSpace(names)) {
    m_pEntryStream.reset();
    m_pDataStream.reset();
    return false;
  }
  std::vector<std::string> written;
  bool ok = WriteListedEntries(names, &written);
  // Only complete temporary files go on to be installed; a failed one is already gone.
  if (!ReplacePatchedFiles(written)) ok = false;

  m_pEntryStream.reset();
  m_pDataStream.reset();
  return ok;
}

bool CPatchRun::WriteListedEntries(const std::vector<std::string>& names,
                                   std::vector<std::string>* written) {
  std::istream& entries = *m_pEntryStream;
  bool ok = true;
  size_t next = 0;
  while (next < names.size()) {
    if (!ReadEntryRecord(entries, &m_entry)) {
      ReportNamesNotInPackage(names, next);
      return false;
    }
    const std::string name = RecordName(m_entry);
    if (name != names[next]) {
      SkipEntryRest(entries, m_entry, &m_block);
      continue;
    }

    m_status.SetText(PatchStatusText(name));
    m_oldFile.Open(TargetPath(name), m_entry.blockCount);
    bool complete = WritePatchedFile(TemporaryPath(name));
    if (complete && m_oldFile.ZeroFilled() > 0) {
      // Local blocks name bytes the installed file does not have: it is not the file the
      // patch was made for. Zeros in member data would pass the index digest (the index
      // comes from the package), so such a file is never installed.
      m_platform.trace->Line(name + " is not patched: the installed file is missing or " +
                             "shorter than the patch expects (" +
                             std::to_string(m_oldFile.ZeroFilled()) + " bytes)");
      DiscardTemporaryFile(TemporaryPath(name));
      complete = false;
    }
    // The data cursor stands at the end of this entry's data area: the next record.
    entries.seekg(m_pDataStream->tellg());
    ++next;
    m_oldFile.Close();

    if (complete) {
      written->push_back(name);
    } else {
      ok = false;
    }
  }
  return ok;
}

void CPatchRun::ReportNamesNotInPackage(const std::vector<std::string>& names, size_t from) {
  // The package ended with names left: they are not in it, or not in package order.
  for (size_t i = from; i < names.size(); ++i) {
    m_platform.trace->Line(names[i] + " is not patched: it is not in the package");
  }
}
