#pragma once

// The MD5 message digest (RFC 1321) and its text form: 32 lower-case hexadecimal digits,
// the four state words in little-endian byte order, the first word first.
//
// The objects are plain values: every digest takes its own object and drops it after.
// No state is shared, so any thread may use its own objects.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// The running MD5 computation. Fields stay in this order: the pending partial block, the
// bit count (low word first, modulo 2^64) and the four chaining words.
class CMD5Checksum {
 public:
  CMD5Checksum();
  virtual ~CMD5Checksum() = default;

  // Feeds `length` bytes.
  void Update(const uint8_t* input, uint32_t length);
  // Pads the message and feeds the bit count, leaving the digest in the state words.
  // Does not reset the object: a second call pads again and changes the state. Use
  // CMD5Hash when the end may be reached more than once.
  void Final();

  // The four chaining words (the digest after Final).
  const uint32_t* State() const { return m_state; }

 protected:
  // One compression step over a 64-byte block; only Update calls it.
  void Transform(const uint8_t* block);

  uint8_t m_buffer[64];
  uint32_t m_bitCount[2];
  uint32_t m_state[4];
};

// An MD5 computation whose end is taken at most once.
class CMD5Hash : public CMD5Checksum {
 public:
  CMD5Hash() = default;
  ~CMD5Hash() override = default;

  // Runs Final the first time only; later calls leave the digest as it is.
  void FinalOnce() {
    if (m_finalized) return;
    m_finalized = true;
    Final();
  }
  bool Finalized() const { return m_finalized; }

  // FinalOnce, then the digest text.
  std::string HexDigest();

 private:
  bool m_finalized = false;
};

// The digest text of four state words: 32 lower-case hexadecimal digits.
std::string DigestToHex(const uint32_t state[4]);

// The digest text of `size` bytes in memory (any size, fed in pieces).
std::string DigestBytes(const void* data, size_t size);

// The digest text of the whole file at `path`, read in chunks of bounded size (memory use
// does not grow with the file). False when the file cannot be opened or a read fails;
// `*hex` is then empty.
bool DigestFile(CFileSystem& files, const std::string& path, std::string* hex);
