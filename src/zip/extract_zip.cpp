// Unpacking a whole-file entry in place: the file at `path` is a zip archive; afterwards
// `path` holds the archive's entry `entryName` and the archive is gone.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/patch_run.h"
#include "zip/zip_reader.h"

namespace {

// Chunk in which the entry is copied from the reader to the output file.
constexpr int32_t kExtractChunkSize = 10240;

// Copies the open entry of `archive` to a new file at `path`, then closes the entry. True
// when every byte was decoded and written durably, the CRC-32 matches and the length is
// the directory's; otherwise `*reason` says what went wrong. The file is closed either
// way, so that the caller can remove it.
bool CopyEntry(CZipFileReader& archive, const ZipEntry& entry, CFileSystem& files,
               const std::string& path, std::string* reason) {
  std::unique_ptr<CWritableFile> out;
  CResult r = files.OpenWrite(path, &out);
  if (!r.ok()) {
    *reason = "cannot create the file: " + r.message();
    return false;
  }
  std::vector<uint8_t> buffer(kExtractChunkSize, 0);
  int64_t delivered = 0;
  for (;;) {
    const int32_t n = archive.Read(buffer.data(), kExtractChunkSize);
    if (n == 0) break;
    if (n < 0) {
      *reason = "the entry's data is damaged: " + archive.Error();
      break;
    }
    r = out->Append(buffer.data(), static_cast<size_t>(n));
    if (!r.ok()) {
      *reason = "cannot write the file: " + r.message();
      break;
    }
    delivered += n;
  }
  if (reason->empty()) {
    r = out->Sync();
    if (!r.ok()) *reason = "cannot flush the file: " + r.message();
  }
  r = out->Close();
  if (reason->empty() && !r.ok()) *reason = "cannot close the file: " + r.message();

  const bool crcMatches = archive.CloseEntry();
  if (!reason->empty()) return false;
  if (!crcMatches) {
    *reason = archive.Error();
    return false;
  }
  if (delivered != entry.uncompressedSize) {
    *reason = "the entry holds " + std::to_string(delivered) + " bytes, the directory says " +
              std::to_string(entry.uncompressedSize);
    return false;
  }
  return true;
}

}  // namespace

bool CPatchRun::ExtractZipInPlace(std::string path, std::string entryName) {
  CFileSystem& files = *m_platform.files;
  CTrace& trace = *m_platform.trace;
  const std::string zipPath = path + ".zip";
  auto fail = [&](const std::string& reason) {
    trace.Line(path + ": cannot extract " + entryName + ": " + reason);
    return false;
  };

  // A leftover archive from an interrupted run would block the move below and be read in
  // place of the one just written: remove it first.
  if (files.Exists(zipPath)) {
    CResult removed = files.Delete(zipPath);
    if (!removed.ok()) {
      return fail("cannot remove a leftover " + zipPath + ": " + removed.message());
    }
  }
  CResult moved = files.Move(path, zipPath);
  if (!moved.ok()) return fail("cannot rename the archive: " + moved.message());

  std::string reason;
  bool whole = false;
  {
    CZipFileReader archive(files);
    if (!archive.Open(zipPath)) {
      reason = "the archive is refused: " + archive.Error();
    } else if (!archive.OpenEntry(entryName)) {
      reason = archive.Error();
    } else {
      whole = CopyEntry(archive, *archive.FindEntry(entryName), files, path, &reason);
    }
  }  // the archive file is closed here, before it is deleted
  if (!whole) fail(reason);

  CResult deleted = files.Delete(zipPath);
  if (!deleted.ok()) {
    // The extracted file is complete either way; a leftover archive is removed by the next
    // run before it moves its own.
    trace.Line(zipPath + ": cannot delete the extracted archive: " + deleted.message());
  }
  return whole;
}
