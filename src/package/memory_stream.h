#pragma once

// A standard input stream over a fixed block of memory, read in place: no copy of the
// bytes and no put area. Positions are absolute offsets from the first byte. Reading
// past the end copies what remains and fails the stream; a failed stream copies nothing
// and ignores seeks until it is cleared, exactly as std::istream behaves. The length is
// capped at 2147483647 bytes.

#include <cstdint>
#include <istream>
#include <streambuf>

class CMemoryStreamBuf : public std::streambuf {
 public:
  CMemoryStreamBuf(const uint8_t* data, uint64_t size);

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
  std::streamsize xsgetn(char* s, std::streamsize n) override;
  std::streamsize showmanyc() override;
};

class CMemoryInputStream : public std::istream {
 public:
  CMemoryInputStream(const uint8_t* data, uint64_t size);
  CMemoryInputStream(const CMemoryInputStream&) = delete;
  CMemoryInputStream& operator=(const CMemoryInputStream&) = delete;

  // First byte of the memory block and the current absolute position, for readers that
  // take a package block straight from memory instead of copying it through read().
  const uint8_t* Base() const { return m_base; }

 private:
  CMemoryStreamBuf m_buf;
  const uint8_t* m_base;
};
