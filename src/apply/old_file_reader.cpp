#include "apply/old_file_reader.h"

#include <algorithm>

namespace {

// Source of zero fill: static, so that filling never allocates.
constexpr size_t kZeroChunk = 64 * 1024;
const uint8_t kZeros[kZeroChunk] = {};

}  // namespace

CResult AppendZeros(CWritableFile& out, uint64_t count) {
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kZeroChunk));
    CResult r = out.Append(kZeros, n);
    if (!r.ok()) return r;
    count -= n;
  }
  return CResult::Ok();
}

void COldFileReader::Open(std::string path, uint32_t blockCount) {
  Close();
  if (blockCount <= 1) return;
  std::unique_ptr<CReadableFile> file;
  if (m_files.OpenRead(path, &file).ok()) m_file = std::move(file);
}

CResult COldFileReader::AppendBlock(CWritableFile& out, uint64_t offset, uint64_t size) {
  if (size == 0) return CResult::Ok();
  uint64_t copied = 0;
  if (!Exhausted()) {
    CResult r = out.AppendFrom(*m_file, offset, size, &copied);
    if (!r.ok()) return r;
    // The installed file ended inside this stretch: it stays short for this entry.
    if (copied < size) m_failed = true;
  }
  m_zeroFilled += size - copied;
  return AppendZeros(out, size - copied);
}

void COldFileReader::Close() {
  m_file.reset();
  m_failed = false;
  m_zeroFilled = 0;
}
