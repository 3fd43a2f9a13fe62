#include "verify/md5.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "package/coding.h"

namespace {

// Initial chaining words.
constexpr uint32_t kInit0 = 0x67452301u;
constexpr uint32_t kInit1 = 0xefcdab89u;
constexpr uint32_t kInit2 = 0x98badcfeu;
constexpr uint32_t kInit3 = 0x10325476u;

// The message is padded with one 0x80 byte and zeros up to 56 bytes modulo 64.
const uint8_t kPadding[64] = {0x80};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One step of each round: a = b + ((a + f(b, c, d) + x[k] + t) <<< s). The message word
// and the constant are added first, and each auxiliary function is written so that as
// little as possible waits for b, the word the previous step has just produced: F and
// I take c and d first, H takes c ^ d first, and G adds its two halves separately (they
// never share a set bit, so + equals |), the half without b before b is there.
#define MD5_STEP_F(a, b, c, d, k, s, t) \
  a += x[k] + (t);                      \
  a += (d) ^ ((b) & ((c) ^ (d)));       \
  a = RotateLeft(a, s) + (b);
#define MD5_STEP_G(a, b, c, d, k, s, t) \
  a += x[k] + (t);                      \
  a += (~(d)) & (c);                    \
  a += (b) & (d);                       \
  a = RotateLeft(a, s) + (b);
#define MD5_STEP_H(a, b, c, d, k, s, t) \
  a += x[k] + (t);                      \
  a += (b) ^ ((c) ^ (d));               \
  a = RotateLeft(a, s) + (b);
#define MD5_STEP_I(a, b, c, d, k, s, t) \
  a += x[k] + (t);                      \
  a += (c) ^ ((b) | ~(d));              \
  a = RotateLeft(a, s) + (b);

// Compresses `blocks` consecutive 64-byte blocks into `state`. Input words are read
// little-endian from any alignment.
void Compress(uint32_t state[4], const uint8_t* data, size_t blocks) {
  uint32_t a0 = state[0], b0 = state[1], c0 = state[2], d0 = state[3];
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = DecodeFixed32(data + 4 * i);
    uint32_t a = a0, b = b0, c = c0, d = d0;

    MD5_STEP_F(a, b, c, d, 0, 7, 0xd76aa478u)
    MD5_STEP_F(d, a, b, c, 1, 12, 0xe8c7b756u)
    MD5_STEP_F(c, d, a, b, 2, 17, 0x242070dbu)
    MD5_STEP_F(b, c, d, a, 3, 22, 0xc1bdceeeu)
    MD5_STEP_F(a, b, c, d, 4, 7, 0xf57c0fafu)
    MD5_STEP_F(d, a, b, c, 5, 12, 0x4787c62au)
    MD5_STEP_F(c, d, a, b, 6, 17, 0xa8304613u)
    MD5_STEP_F(b, c, d, a, 7, 22, 0xfd469501u)
    MD5_STEP_F(a, b, c, d, 8, 7, 0x698098d8u)
    MD5_STEP_F(d, a, b, c, 9, 12, 0x8b44f7afu)
    MD5_STEP_F(c, d, a, b, 10, 17, 0xffff5bb1u)
    MD5_STEP_F(b, c, d, a, 11, 22, 0x895cd7beu)
    MD5_STEP_F(a, b, c, d, 12, 7, 0x6b901122u)
    MD5_STEP_F(d, a, b, c, 13, 12, 0xfd987193u)
    MD5_STEP_F(c, d, a, b, 14, 17, 0xa679438eu)
    MD5_STEP_F(b, c, d, a, 15, 22, 0x49b40821u)

    MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562u)
    MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340u)
    MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51u)
    MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aau)
    MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105du)
    MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453u)
    MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681u)
    MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8u)
    MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6u)
    MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6u)
    MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87u)
    MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14edu)
    MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905u)
    MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8u)
    MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9u)
    MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8au)

    MD5_STEP_H(a, b, c, d, 5, 4, 0xfffa3942u)
    MD5_STEP_H(d, a, b, c, 8, 11, 0x8771f681u)
    MD5_STEP_H(c, d, a, b, 11, 16, 0x6d9d6122u)
    MD5_STEP_H(b, c, d, a, 14, 23, 0xfde5380cu)
    MD5_STEP_H(a, b, c, d, 1, 4, 0xa4beea44u)
    MD5_STEP_H(d, a, b, c, 4, 11, 0x4bdecfa9u)
    MD5_STEP_H(c, d, a, b, 7, 16, 0xf6bb4b60u)
    MD5_STEP_H(b, c, d, a, 10, 23, 0xbebfbc70u)
    MD5_STEP_H(a, b, c, d, 13, 4, 0x289b7ec6u)
    MD5_STEP_H(d, a, b, c, 0, 11, 0xeaa127fau)
    MD5_STEP_H(c, d, a, b, 3, 16, 0xd4ef3085u)
    MD5_STEP_H(b, c, d, a, 6, 23, 0x04881d05u)
    MD5_STEP_H(a, b, c, d, 9, 4, 0xd9d4d039u)
    MD5_STEP_H(d, a, b, c, 12, 11, 0xe6db99e5u)
    MD5_STEP_H(c, d, a, b, 15, 16, 0x1fa27cf8u)
    MD5_STEP_H(b, c, d, a, 2, 23, 0xc4ac5665u)

    MD5_STEP_I(a, b, c, d, 0, 6, 0xf4292244u)
    MD5_STEP_I(d, a, b, c, 7, 10, 0x432aff97u)
    MD5_STEP_I(c, d, a, b, 14, 15, 0xab9423a7u)
    MD5_STEP_I(b, c, d, a, 5, 21, 0xfc93a039u)
    MD5_STEP_I(a, b, c, d, 12, 6, 0x655b59c3u)
    MD5_STEP_I(d, a, b, c, 3, 10, 0x8f0ccc92u)
    MD5_STEP_I(c, d, a, b, 10, 15, 0xffeff47du)
    MD5_STEP_I(b, c, d, a, 1, 21, 0x85845dd1u)
    MD5_STEP_I(a, b, c, d, 8, 6, 0x6fa87e4fu)
    MD5_STEP_I(d, a, b, c, 15, 10, 0xfe2ce6e0u)
    MD5_STEP_I(c, d, a, b, 6, 15, 0xa3014314u)
    MD5_STEP_I(b, c, d, a, 13, 21, 0x4e0811a1u)
    MD5_STEP_I(a, b, c, d, 4, 6, 0xf7537e82u)
    MD5_STEP_I(d, a, b, c, 11, 10, 0xbd3af235u)
    MD5_STEP_I(c, d, a, b, 2, 15, 0x2ad7d2bbu)
    MD5_STEP_I(b, c, d, a, 9, 21, 0xeb86d391u)

    a0 += a;
    b0 += b;
    c0 += c;
    d0 += d;
  }
  state[0] = a0;
  state[1] = b0;
  state[2] = c0;
  state[3] = d0;
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I

// Files are digested through a buffer of at most this size.
constexpr size_t kFileChunk = size_t{1} << 20;

}  // namespace

CMD5Checksum::CMD5Checksum()
    : m_buffer{}, m_bitCount{0, 0}, m_state{kInit0, kInit1, kInit2, kInit3} {}

void CMD5Checksum::Transform(const uint8_t* block) { Compress(m_state, block, 1); }

void CMD5Checksum::Update(const uint8_t* input, uint32_t length) {
  uint32_t index = (m_bitCount[0] >> 3) & 63;
  // The bit count is kept modulo 2^64 in two words: length * 8 may carry out of the low
  // word, and length's top three bits belong to the high word.
  const uint32_t lowBits = length << 3;
  m_bitCount[0] += lowBits;
  if (m_bitCount[0] < lowBits) ++m_bitCount[1];
  m_bitCount[1] += length >> 29;

  const uint32_t partLength = 64 - index;
  uint32_t i = 0;
  if (length >= partLength) {
    std::memcpy(&m_buffer[index], input, partLength);
    Transform(m_buffer);
    i = partLength;
    // Whole blocks straight from the input, in one run.
    const uint32_t blocks = (length - i) / 64;
    Compress(m_state, input + i, blocks);
    i += blocks * 64;
    index = 0;
  }
  if (length > i) std::memcpy(&m_buffer[index], input + i, length - i);
}

void CMD5Checksum::Final() {
  uint8_t bits[8];
  EncodeFixed32(bits, m_bitCount[0]);
  EncodeFixed32(bits + 4, m_bitCount[1]);
  const uint32_t index = (m_bitCount[0] >> 3) & 63;
  const uint32_t padLength = index < 56 ? 56 - index : 120 - index;
  Update(kPadding, padLength);
  Update(bits, 8);
}

std::string CMD5Hash::HexDigest() {
  FinalOnce();
  return DigestToHex(m_state);
}

std::string DigestToHex(const uint32_t state[4]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(32, '0');
  for (int word = 0; word < 4; ++word) {
    for (int byte = 0; byte < 4; ++byte) {
      const uint32_t value = (state[word] >> (8 * byte)) & 0xffu;
      const int at = 8 * word + 2 * byte;
      text[at] = kDigits[value >> 4];
      text[at + 1] = kDigits[value & 15];
    }
  }
  return text;
}

std::string DigestBytes(const void* data, size_t size) {
  CMD5Hash hash;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  // Update counts in 32 bits: feed larger inputs in pieces.
  constexpr size_t kPiece = size_t{1} << 30;
  while (size > 0) {
    const size_t n = std::min(size, kPiece);
    hash.Update(p, static_cast<uint32_t>(n));
    p += n;
    size -= n;
  }
  return hash.HexDigest();
}

bool DigestFile(CFileSystem& files, const std::string& path, std::string* hex) {
  hex->clear();
  std::unique_ptr<CReadableFile> file;
  if (!files.OpenRead(path, &file).ok()) return false;
  // Small files get a buffer of their own size; a size that cannot be told gets the
  // full chunk (reads still end at the end of the file).
  const int64_t size = file->Size();
  size_t capacity = kFileChunk;
  if (size >= 0 && static_cast<uint64_t>(size) < capacity) {
    capacity = std::max<size_t>(static_cast<size_t>(size), 1);
  }
  std::vector<uint8_t> buffer(capacity);
  CMD5Hash hash;
  uint64_t offset = 0;
  for (;;) {
    const int64_t got = file->ReadAt(offset, buffer.data(), buffer.size());
    if (got < 0) return false;
    if (got == 0) break;
    hash.Update(buffer.data(), static_cast<uint32_t>(got));
    offset += static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) < buffer.size()) break;  // the end of the file
  }
  *hex = hash.HexDigest();
  return true;
}
