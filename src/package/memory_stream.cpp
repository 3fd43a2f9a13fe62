#include "package/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "package/package_format.h"

CMemoryStreamBuf::CMemoryStreamBuf(const uint8_t* data, uint64_t size) {
  const uint64_t length = std::min<uint64_t>(size, kMaxPackageSize);
  // The get area only ever reads: there is no put area and no put-back that writes.
  char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
  setg(begin, begin, begin + length);
}

CMemoryStreamBuf::pos_type CMemoryStreamBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                     std::ios_base::openmode which) {
  if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
  off_type base;
  switch (dir) {
    case std::ios_base::beg:
      base = 0;
      break;
    case std::ios_base::cur:
      base = gptr() - eback();
      break;
    case std::ios_base::end:
      base = egptr() - eback();
      break;
    default:
      return pos_type(off_type(-1));
  }
  const off_type length = egptr() - eback();
  if (off > length || off < -length) return pos_type(off_type(-1));
  const off_type target = base + off;
  if (target < 0 || target > length) return pos_type(off_type(-1));
  setg(eback(), eback() + target, egptr());
  return pos_type(target);
}

CMemoryStreamBuf::pos_type CMemoryStreamBuf::seekpos(pos_type pos,
                                                     std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios_base::beg, which);
}

std::streamsize CMemoryStreamBuf::xsgetn(char* s, std::streamsize n) {
  if (n <= 0) return 0;
  const std::streamsize available = egptr() - gptr();
  const std::streamsize take = std::min(n, available);
  if (take > 0) {
    std::memcpy(s, gptr(), static_cast<size_t>(take));
    gbump(static_cast<int>(take));
  }
  return take;
}

std::streamsize CMemoryStreamBuf::showmanyc() {
  const std::streamsize available = egptr() - gptr();
  return available > 0 ? available : -1;
}

CMemoryInputStream::CMemoryInputStream(const uint8_t* data, uint64_t size)
    : std::istream(nullptr), m_buf(data, size), m_base(data) {
  rdbuf(&m_buf);
}
