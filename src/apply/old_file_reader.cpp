#include "apply/old_file_reader.h"

#include <cstring>

void COldFileReader::Open(std::string path, uint32_t blockCount) {
  Close();
  if (blockCount <= 1) return;
  std::unique_ptr<CReadableFile> file;
  if (m_files.OpenRead(path, &file).ok()) {
    m_file = std::move(file);
    m_failed = false;
  }
}

void COldFileReader::Read(uint64_t offset, uint8_t* out, size_t size) {
  if (size == 0) return;
  size_t got = 0;
  if (!Exhausted()) {
    const int64_t r = m_file->ReadAt(offset, out, size);
    got = r > 0 ? static_cast<size_t>(r) : 0;
    if (got < size) m_failed = true;
  }
  std::memset(out + got, 0, size - got);
}

void COldFileReader::Close() {
  m_file.reset();
  m_failed = false;
}
