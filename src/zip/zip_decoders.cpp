#include "zip/zip_decoders.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, int32_t n) {
  return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(n)));
}

}  // namespace

void CZipFileReadInfoStored::Init() {
  m_crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
  m_stream->Seek(m_zipEntry->dataOffset);
}

int32_t CZipFileReadInfoStored::Read(uint8_t* buffer, int32_t size) {
  if (size < 0) {
    m_failure = "a read of a negative size";
    return -1;
  }
  if (m_finished) return 0;
  if (m_bytesRead >= m_zipEntry->compressedSize) {
    m_finished = true;
    return 0;
  }
  const int32_t n = std::min(size, m_zipEntry->compressedSize - m_bytesRead);
  // A short read (a premature end of the file) delivers what there is; the stream has
  // then failed, so every later read delivers 0 and the caller sees the end.
  const int32_t got = static_cast<int32_t>(m_stream->Read(buffer, n));
  m_crc = UpdateCrc(m_crc, buffer, got);
  m_bytesRead += got;
  return got;
}

bool CZipFileReadInfoStored::CheckCrc() { return m_crc == m_zipEntry->crc; }

CZipFileReadInfoInflate::CZipFileReadInfoInflate(const ZipEntry* entry, CZipInputStream* stream,
                                                 uint8_t* inputWindow, int32_t inputSize,
                                                 uint8_t* outputWindow, int32_t outputSize)
    : CZipFileReadInfo(entry),
      m_stream(stream),
      m_inputWindow(inputWindow),
      m_inputSize(inputSize),
      m_outputWindow(outputWindow),
      m_outputSize(outputSize) {
  std::memset(&m_zstream, 0, sizeof(m_zstream));
}

CZipFileReadInfoInflate::~CZipFileReadInfoInflate() {
  if (m_initialised) inflateEnd(&m_zstream);
  m_initialised = false;
}

bool CZipFileReadInfoInflate::Init() {
  m_stream->Seek(m_zipEntry->dataOffset);
  const int32_t want = std::min(m_zipEntry->compressedSize, m_inputSize);
  std::memset(m_inputWindow, 0, static_cast<size_t>(m_inputSize));
  m_compressedRead = static_cast<int32_t>(m_stream->Read(m_inputWindow, want));
  if (m_compressedRead < want) {
    m_failure = "the compressed data ends early";
    return false;
  }
  m_zstream.next_in = m_inputWindow;
  m_zstream.avail_in = static_cast<uInt>(m_compressedRead);
  m_zstream.next_out = m_outputWindow;
  m_zstream.avail_out = static_cast<uInt>(m_outputSize);
  m_zstream.zalloc = Z_NULL;
  m_zstream.zfree = Z_NULL;
  m_zstream.opaque = Z_NULL;
  // Negative window bits: raw deflate data, without a zlib header or trailer.
  if (inflateInit2(&m_zstream, -MAX_WBITS) != Z_OK) {
    m_failure = "inflate could not start";
    return false;
  }
  m_crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
  m_initialised = true;
  return true;
}

int32_t CZipFileReadInfoInflate::Read(uint8_t* buffer, int32_t size) {
  if (size <= 0) {
    m_failure = "a read of no bytes";
    return -1;
  }
  if (!m_initialised) {
    m_failure = "inflate is not running";
    return -1;
  }
  int32_t remaining = size;
  for (;;) {
    // Hand out what inflate left in the output window before asking it for more.
    const int32_t pending = m_outputSize - m_outputPos - static_cast<int32_t>(m_zstream.avail_out);
    if (pending > 0) {
      const int32_t take = std::min(remaining, pending);
      const uint8_t* from = m_outputWindow + m_outputPos;
      std::memcpy(buffer, from, static_cast<size_t>(take));
      m_crc = UpdateCrc(m_crc, from, take);
      buffer += take;
      m_outputPos += take;
      remaining -= take;
    }
    if (remaining <= 0) return size;
    if (m_finished) return size - remaining;

    // The window has been delivered completely: offer all of it to inflate again.
    m_zstream.next_out = m_outputWindow;
    m_zstream.avail_out = static_cast<uInt>(m_outputSize);
    m_outputPos = 0;

    if (m_compressedRead < m_zipEntry->compressedSize && m_zstream.avail_in == 0) {
      const int32_t want = std::min(m_zipEntry->compressedSize - m_compressedRead, m_inputSize);
      const int32_t got = static_cast<int32_t>(m_stream->Read(m_inputWindow, want));
      m_compressedRead += got;
      if (got < want) {
        m_failure = "the compressed data ends early";
        return -1;
      }
      m_zstream.next_in = m_inputWindow;
      m_zstream.avail_in = static_cast<uInt>(got);
    }

    const int r = inflate(&m_zstream, Z_NO_FLUSH);
    if (static_cast<int64_t>(m_zstream.total_out) >= m_zipEntry->uncompressedSize) {
      // The stated size is reached: deliver this window whole, then report the end.
      m_finished = true;
    } else if (r == Z_OK) {
      continue;
    } else {
      if (r != Z_STREAM_END) m_finished = true;
      if (r == Z_STREAM_END) {
        m_failure = "the deflate stream ends before the stated size";
      } else if (r == Z_DATA_ERROR) {
        m_failure = "the deflate data is corrupt";
      } else if (r == Z_BUF_ERROR) {
        m_failure = "the compressed data ends inside the deflate stream";
      } else {
        m_failure = "inflate failed";
      }
      return -1;
    }
  }
}

bool CZipFileReadInfoInflate::CheckCrc() { return m_crc == m_zipEntry->crc; }
