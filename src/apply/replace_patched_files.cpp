// CPatchRun::ReplacePatchedFiles: the second pass of the apply stage. Each written entry
// is checked and then renamed over its installed file in one step, so the installed
// path always holds either the old file or the new one. An entry that fails its check
// or cannot be renamed keeps the installed file and loses its temporary file.

#include "apply/apply_paths.h"
#include "package/package_walk.h"
#include "platform/path.h"
#include "run/patch_run.h"
#include "verify/archive_digest.h"
#include "verify/md5.h"

bool CPatchRun::ReplacePatchedFiles(std::vector<std::string> names) {
  std::istream& entries = *m_pEntryStream;
  // The first pass may have run into the end of the package: start over cleanly.
  entries.clear();
  entries.seekg(0);
  uint32_t entryCount = 0;
  ReadEntryCount(entries, &entryCount);

  bool ok = true;
  size_t next = 0;
  while (next < names.size()) {
    if (!ReadEntryRecord(entries, &m_entry)) {
      ReportNamesNotInPackage(names, next);
      return false;
    }
    if (RecordName(m_entry) == names[next]) {
      if (!InstallEntry(names[next])) ok = false;
      ++next;
    }
    SkipEntryRest(entries, m_entry, &m_block);
  }
  return ok;
}

bool CPatchRun::InstallEntry(const std::string& name) {
  CFileSystem& files = *m_platform.files;
  const std::string target = TargetPath(name);
  const std::string temporary = TemporaryPath(name);
  // The temporary file's own name starts with ".temp_": a name without a dot never
  // counts as an archive, and the comparison is exact, so ".PKG" does not either.
  const bool archiveName = ExtensionOf(temporary) == kArchiveExtension;

  std::string failure;
  if (archiveName && m_entry.blockCount > 1) {
    // A rebuilt archive must be the exact version the entry describes.
    const std::string expected = RecordNewDigest(m_entry);
    if (!IsDigestText(expected)) {
      failure = "the entry carries no digest to verify the rebuilt archive against";
    } else {
      const std::string digest = GetArchiveDigest(files, *m_platform.trace, TemporaryName(name));
      if (digest.empty()) {
        failure = "the rebuilt archive cannot be read";
      } else if (digest != expected) {
        failure = "the rebuilt archive's index digest is " + digest + ", not " + expected;
      }
    }
  } else if (!archiveName) {
    // A whole file delivered as a zip archive: unpack it in place first.
    if (!ExtractZipInPlace(temporary, name)) {
      failure = "the delivered zip archive cannot be extracted";
    } else {
      // The record carries the new file's MD5 when the packer recorded one.
      const std::string expected = RecordOldDigest(m_entry);
      std::string digest;
      if (!IsDigestText(expected)) {
        // Nothing to compare with: the zip's CRC-32 is the only check.
      } else if (!DigestFile(files, temporary, &digest)) {
        failure = "the extracted file cannot be read back";
      } else if (digest != expected) {
        failure = "the extracted file's digest is " + digest + ", not " + expected;
      }
    }
  }

  if (failure.empty()) {
    CResult r = files.Replace(temporary, target);
    if (!r.ok()) failure = "cannot replace the installed file: " + r.message();
  }
  if (failure.empty()) return true;

  m_platform.trace->Line(name + " is not patched: " + failure);
  DiscardTemporaryFile(temporary);
  return false;
}

void CPatchRun::DiscardTemporaryFile(const std::string& path) {
  CFileSystem& files = *m_platform.files;
  CResult r = files.Delete(path);
  if (!r.ok() && files.Exists(path)) {
    m_platform.trace->Line("Cannot remove the temporary file: " + r.message());
  }
}
