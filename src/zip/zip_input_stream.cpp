#include "zip/zip_input_stream.h"

CZipInputStream::CZipInputStream(std::unique_ptr<CReadableFile> file)
    : m_file(std::move(file)), m_size(m_file->Size()) {}

void CZipInputStream::Seek(int64_t position) {
  if (position < 0) {
    m_failed = true;
    return;
  }
  m_position = position;
  m_failed = false;
}

void CZipInputStream::Skip(int64_t count) {
  if (m_failed) return;
  if (m_position + count < 0) {
    m_failed = true;
    return;
  }
  m_position += count;
}

int64_t CZipInputStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (m_failed) return 0;
  const int64_t got =
      m_file->ReadAt(static_cast<uint64_t>(m_position), buffer, static_cast<size_t>(count));
  if (got < 0) {
    // An I/O error: nothing usable was read.
    m_failed = true;
    return 0;
  }
  m_position += got;
  if (got < count) m_failed = true;
  return got;
}
