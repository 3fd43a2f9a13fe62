// MD5 against RFC 1321's test suite and lengths around the padding boundary, the text
// form of the digest, and the end-of-message guard.

#include "verify/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_files.h"
#include "support/temp_dir.h"

namespace {

std::string Md5(const std::string& text) { return DigestBytes(text.data(), text.size()); }

// 1000 bytes with no short period; its digest was taken with an independent MD5.
std::string PatternBytes() {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>((i * i * 31 + i * 7 + 3) % 251));
  return bytes;
}
const char kPatternDigest[] = "11bb548c69e96b81627cc6cb5f65785e";

// Exposes the bit counter for the carry test.
class CCounterProbe : public CMD5Checksum {
 public:
  void SetBitCount(uint32_t low, uint32_t high) {
    m_bitCount[0] = low;
    m_bitCount[1] = high;
  }
  uint32_t Low() const { return m_bitCount[0]; }
  uint32_t High() const { return m_bitCount[1]; }
};

}  // namespace

TEST(Md5Test, Rfc1321TestSuite) {
  const struct {
    const char* input;
    const char* digest;
  } kSuite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : kSuite) EXPECT_EQ(Md5(c.input), c.digest) << '"' << c.input << '"';
}

TEST(Md5Test, LengthsAroundThePaddingBoundary) {
  // 55 bytes leave room for the 0x80 byte and the count in one block; 56 to 63 need a
  // second block; 64 and 65 start a new one.
  const struct {
    size_t length;
    const char* digest;
  } kCases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"},  {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},  {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {120, "5f61c0ccad4cac44c75ff505e1f1e537"}, {127, "020406e1d05cdc2aa287641f7ae2cc39"},
      {128, "e510683b3f5ffe4093d021808bc6ff70"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Md5(std::string(c.length, 'a')), c.digest) << c.length << " bytes";
  }
  EXPECT_EQ(Md5(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5Test, UpdatesSplitAtAnySizeGiveTheDigestOfOneUpdate) {
  const std::string data = PatternBytes();
  ASSERT_EQ(Md5(data), kPatternDigest);

  // Piece sizes that start pieces at every offset inside a block, cross block ends, fill
  // the pending buffer exactly and pass whole blocks straight through.
  const std::vector<std::vector<uint32_t>> kPlans = {
      {1},  {3},  {7},           {13},           {55, 1}, {56, 8}, {63},
      {64}, {65}, {127, 1, 128}, {0, 5, 0, 200}, {999},   {1000}};
  for (const auto& plan : kPlans) {
    CMD5Hash hash;
    size_t at = 0;
    for (size_t step = 0; at < data.size(); ++step) {
      const size_t n = std::min<size_t>(plan[step % plan.size()], data.size() - at);
      hash.Update(reinterpret_cast<const uint8_t*>(data.data()) + at, static_cast<uint32_t>(n));
      at += n;
    }
    EXPECT_EQ(hash.HexDigest(), kPatternDigest) << "first piece " << plan[0];
  }
}

TEST(Md5Test, BitCountCarriesIntoTheHighWord) {
  CCounterProbe probe;
  probe.SetBitCount(0xfffffff8u, 6);
  const uint8_t two[2] = {1, 2};
  probe.Update(two, 2);  // 16 more bits: the low word wraps
  EXPECT_EQ(probe.Low(), 8u);
  EXPECT_EQ(probe.High(), 7u);
  probe.Update(two, 1);
  EXPECT_EQ(probe.Low(), 16u);
  EXPECT_EQ(probe.High(), 7u);
}

TEST(Md5Test, DigestTextIsTwoLowerCaseDigitsPerByteInLittleEndianWordOrder) {
  // Bytes in text order: 00 ab 0b 0a | 01 10 ff 7f | ... ; words are little-endian.
  const uint32_t state[4] = {0x0a0bab00u, 0x7fff1001u, 0x00000000u, 0xffffffffu};
  EXPECT_EQ(DigestToHex(state), "00ab0b0a0110ff7f00000000ffffffff");
}

TEST(Md5Test, HashTakesTheEndOnceAndChecksumEveryTime) {
  CMD5Hash hash;
  hash.Update(reinterpret_cast<const uint8_t*>("abc"), 3);
  EXPECT_FALSE(hash.Finalized());
  hash.FinalOnce();
  EXPECT_TRUE(hash.Finalized());
  EXPECT_EQ(DigestToHex(hash.State()), "900150983cd24fb0d6963f7d28e17f72");
  hash.FinalOnce();
  EXPECT_EQ(hash.HexDigest(), "900150983cd24fb0d6963f7d28e17f72");

  // Without the guard a second end pads again and the digest moves on.
  CMD5Checksum plain;
  plain.Update(reinterpret_cast<const uint8_t*>("abc"), 3);
  plain.Final();
  EXPECT_EQ(DigestToHex(plain.State()), "900150983cd24fb0d6963f7d28e17f72");
  plain.Final();
  EXPECT_NE(DigestToHex(plain.State()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Test, DigestFileReadsTheWholeFileInBoundedChunks) {
  CTempDir dir;
  // Larger than one read chunk and not a multiple of it.
  std::string big;
  const std::string pattern = PatternBytes();
  while (big.size() < (3u << 20) + 77) big += pattern;
  dir.Write("big.bin", big);
  dir.Write("empty.bin", "");
  dir.Write("small.bin", pattern);

  std::string hex;
  ASSERT_TRUE(DigestFile(*DefaultFileSystem(), dir.Path("big.bin"), &hex));
  EXPECT_EQ(hex, Md5(big));
  ASSERT_TRUE(DigestFile(*DefaultFileSystem(), dir.Path("small.bin"), &hex));
  EXPECT_EQ(hex, kPatternDigest);
  ASSERT_TRUE(DigestFile(*DefaultFileSystem(), dir.Path("empty.bin"), &hex));
  EXPECT_EQ(hex, "d41d8cd98f00b204e9800998ecf8427e");

  hex = "stale";
  EXPECT_FALSE(DigestFile(*DefaultFileSystem(), dir.Path("missing.bin"), &hex));
  EXPECT_EQ(hex, "");
}

TEST(Md5Test, DigestFileFailsWhenAReadFails) {
  CMemoryFileSystem memory;
  memory.Put("/c/a.bin", PatternBytes());
  CFaultFileSystem faulty(memory);
  faulty.FailAt(CFaultFileSystem::kRead, 1, 5 /* EIO */);
  std::string hex = "stale";
  EXPECT_FALSE(DigestFile(faulty, "/c/a.bin", &hex));
  EXPECT_EQ(hex, "");
  EXPECT_TRUE(DigestFile(faulty, "/c/a.bin", &hex));
  EXPECT_EQ(hex, kPatternDigest);
}
