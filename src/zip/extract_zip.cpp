// Unpacking a whole-file entry in place: the file at `path` is a zip archive; afterwards
// `path` holds the archive's entry `entryName` and the archive is gone.

#include <cstdint>
#include <memory>
#include <vector>

#include "run/patch_run.h"
#include "zip/zip_reader.h"

namespace {

// Chunk in which the entry is copied from the reader to the output file.
constexpr int32_t kExtractChunkSize = 10240;

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
    if (!removed.ok()) return fail("cannot remove a leftover " + zipPath + ": " + removed.message());
  }
  CResult moved = files.Move(path, zipPath);
  if (!moved.ok()) return fail("cannot rename the archive: " + moved.message());

  bool whole = false;
  {
    CZipFileReader archive(files);
    if (!archive.Open(zipPath)) {
      fail("the archive is refused: " + archive.Error());
    } else if (!archive.OpenEntry(entryName)) {
      fail(archive.Error());
    } else {
      const int64_t expected = archive.FindEntry(entryName)->uncompressedSize;
      std::unique_ptr<CWritableFile> out;
      CResult r = files.OpenWrite(path, &out);
      if (!r.ok()) {
        fail("cannot create the file: " + r.message());
      } else {
        std::vector<uint8_t> buffer(kExtractChunkSize, 0);
        int64_t delivered = 0;
        bool written = true;
        bool decoded = true;
        for (;;) {
          const int32_t n = archive.Read(buffer.data(), kExtractChunkSize);
          if (n == 0) break;
          if (n < 0) {
            decoded = false;
            fail("the entry's data is damaged: " + archive.Error());
            break;
          }
          r = out->Append(buffer.data(), static_cast<size_t>(n));
          if (!r.ok()) {
            written = false;
            fail("cannot write the file: " + r.message());
            break;
          }
          delivered += n;
        }
        if (written) {
          r = out->Sync();
          if (!r.ok()) {
            written = false;
            fail("cannot flush the file: " + r.message());
          }
        }
        // Close even after a failure, so that the caller can remove the file.
        r = out->Close();
        if (written && !r.ok()) {
          written = false;
          fail("cannot close the file: " + r.message());
        }
        out.reset();
        const bool crcMatches = archive.CloseEntry();
        if (written && decoded) {
          if (!crcMatches) {
            fail(archive.Error());
          } else if (delivered != expected) {
            fail("the entry holds " + std::to_string(delivered) + " bytes, the directory says " +
                 std::to_string(expected));
          } else {
            whole = true;
          }
        }
      }
    }
    archive.Close();
  }

  CResult deleted = files.Delete(zipPath);
  if (!deleted.ok()) {
    // The extracted file is complete either way; a leftover archive is removed by the next
    // run before it moves its own.
    trace.Line(zipPath + ": cannot delete the extracted archive: " + deleted.message());
  }
  return whole;
}
