// CPatchRun::WritePatchedFile: assembles one new file from the current entry's blocks.
//
// Memory stays flat whatever the block sizes: package blocks are written straight from
// the package memory in bounded writes, local blocks are copied from the installed file
// by the platform (in the kernel on Linux), and zero fill comes from a static buffer.

#include <algorithm>
#include <ios>

#include "apply/apply_paths.h"
#include "apply/old_file_reader.h"
#include "package/package_walk.h"
#include "platform/path.h"
#include "run/patch_run.h"

namespace {

CResult AppendMemory(CWritableFile& out, const uint8_t* data, uint64_t size) {
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk));
    CResult r = out.Append(data, n);
    if (!r.ok()) return r;
    data += n;
    size -= n;
  }
  return CResult::Ok();
}

}  // namespace

bool CPatchRun::WritePatchedFile(std::string temporaryPath) {
  CFileSystem& files = *m_platform.files;
  const std::string name = RecordName(m_entry);
  // The first reason why the file cannot come out complete. Once set, nothing more is
  // written, but the block table is still read to its end and the data cursor still
  // moved over every package block, so that the walk goes on with the next entry.
  std::string failure;

  std::unique_ptr<CWritableFile> out;
  if (!FolderPart(name).empty()) {
    // A file the patch adds may live in a folder the install does not have yet.
    CResult r = files.MakeFolders(FolderPart(temporaryPath));
    if (!r.ok()) failure = "cannot create its folder: " + r.message();
  }
  if (failure.empty()) {
    CResult r = files.OpenWrite(temporaryPath, &out);
    if (!r.ok()) failure = "cannot create the temporary file: " + r.message();
  }

  for (uint32_t i = 0; i < m_entry.blockCount; ++i) {
    if (!ReadBlockHeader(*m_pEntryStream, &m_block)) {
      if (failure.empty()) failure = "its block table is cut short";
      break;
    }
    if (m_block.fromPackage != 0) {
      const uint64_t end = uint64_t{m_block.offset} + m_block.size;
      m_pDataStream->seekg(static_cast<std::streamoff>(m_block.offset));
      if (m_pDataStream->fail() || end > m_packageSize) {
        if (failure.empty()) failure = "a package block lies outside the package";
      } else {
        if (failure.empty()) {
          CResult r = AppendMemory(*out, m_pDataStream->Base() + m_block.offset, m_block.size);
          if (!r.ok()) failure = "cannot write the temporary file: " + r.message();
        }
        // Where a read of the block would have left the cursor.
        m_pDataStream->seekg(static_cast<std::streamoff>(end));
      }
      m_status.AddDone(m_block.size);
    } else if (failure.empty()) {
      CResult r = m_oldFile.AppendBlock(*out, m_block.offset, m_block.size);
      if (!r.ok()) failure = "cannot copy a stretch of the installed file: " + r.message();
    }
  }

  if (out != nullptr) {
    if (failure.empty()) {
      CResult r = out->Sync();
      if (!r.ok()) failure = "cannot flush the temporary file: " + r.message();
    }
    CResult closed = out->Close();
    if (failure.empty() && !closed.ok()) {
      failure = "cannot close the temporary file: " + closed.message();
    }
  }
  if (failure.empty()) return true;

  m_platform.trace->Line(name + " is not patched: " + failure);
  if (out != nullptr) DiscardTemporaryFile(temporaryPath);
  return false;
}
