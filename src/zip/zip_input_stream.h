#pragma once

// CZipInputStream: a read cursor over an archive file, with the semantics of a binary
// input stream: a current position, reads that come up short at the end of the file, and
// a failed state.
//
// A read that delivers fewer bytes than asked (the end of the file, or an I/O error) puts
// the stream in the failed state. While failed, reads deliver nothing and relative moves
// do nothing. An absolute Seek to a position that is not negative clears the failed state
// and sets the position; a Seek to a negative position fails the stream.
//
// Owned by one holder; used on one thread.

#include <cstdint>
#include <memory>

#include "platform/platform.h"

class CZipInputStream {
 public:
  explicit CZipInputStream(std::unique_ptr<CReadableFile> file);
  CZipInputStream(const CZipInputStream&) = delete;
  CZipInputStream& operator=(const CZipInputStream&) = delete;

  // Size of the file when the stream was created; -1 when it could not be determined.
  int64_t Size() const { return m_size; }
  int64_t Position() const { return m_position; }
  bool Failed() const { return m_failed; }

  // Moves to `position` from the start of the file (see above).
  void Seek(int64_t position);
  // Moves `count` bytes on from the current position. Nothing happens while failed; a
  // move to a negative position fails the stream.
  void Skip(int64_t count);
  // Reads up to `count` bytes at the current position into `buffer` and moves past them.
  // Returns the number of bytes read: `count`, or fewer (then the stream has failed).
  int64_t Read(void* buffer, int64_t count);

 private:
  std::unique_ptr<CReadableFile> m_file;
  int64_t m_size;
  int64_t m_position = 0;
  bool m_failed = false;
};
