// Prints the MD5 throughput of this program's implementation on a buffer of 256 MiB
// (or the MiB given as the first argument), and OpenSSL's MD5 on the same bytes in the
// same run when it was built with OpenSSL, with the ratio of the two.
//
//   cmake --preset linux-release && cmake --build --preset linux-release --target md5_bench
//   build/linux-release/bench/md5/md5_bench [MiB]
//
// Each implementation digests the buffer in 1 MiB updates, as a file would be read; the
// best of several alternating rounds is reported, so that neither pays for a cold cache.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "verify/md5.h"

#ifdef MRPATCH_BENCH_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

constexpr size_t kUpdate = size_t{1} << 20;
constexpr int kRounds = 5;

std::vector<uint8_t> RandomBytes(size_t n) {
  std::vector<uint8_t> bytes(n);
  uint64_t x = 0x9e3779b97f4a7c15u;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    bytes[i] = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

std::string OwnDigest(const std::vector<uint8_t>& data) {
  CMD5Hash hash;
  for (size_t at = 0; at < data.size(); at += kUpdate) {
    const size_t n = std::min(kUpdate, data.size() - at);
    hash.Update(data.data() + at, static_cast<uint32_t>(n));
  }
  return hash.HexDigest();
}

#ifdef MRPATCH_BENCH_OPENSSL
std::string OpenSslDigest(const std::vector<uint8_t>& data) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
  for (size_t at = 0; at < data.size(); at += kUpdate) {
    EVP_DigestUpdate(ctx, data.data() + at, std::min(kUpdate, data.size() - at));
  }
  unsigned char out[16];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, out, &length);
  EVP_MD_CTX_free(ctx);
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[out[i] >> 4];
    text += kDigits[out[i] & 15];
  }
  return text;
}
#endif

// Seconds for one digest of `data`; `digest` receives the text.
template <typename F>
double Time(F digestOf, const std::vector<uint8_t>& data, std::string* digest) {
  const auto start = std::chrono::steady_clock::now();
  *digest = digestOf(data);
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  if (mib == 0) {
    std::fprintf(stderr, "usage: md5_bench [MiB]\n");
    return 2;
  }
  const std::vector<uint8_t> data = RandomBytes(mib << 20);

  double ownBest = 1e30;
  std::string own;
#ifdef MRPATCH_BENCH_OPENSSL
  double sslBest = 1e30;
  std::string ssl;
#endif
  for (int round = 0; round < kRounds; ++round) {
    ownBest = std::min(ownBest, Time(OwnDigest, data, &own));
#ifdef MRPATCH_BENCH_OPENSSL
    sslBest = std::min(sslBest, Time(OpenSslDigest, data, &ssl));
#endif
  }

  const double ownRate = static_cast<double>(mib) / ownBest;
  std::printf("data            %zu MiB, %d rounds, best of each\n", mib, kRounds);
  std::printf("mrpatch MD5     %8.1f MiB/s  %s\n", ownRate, own.c_str());
#ifdef MRPATCH_BENCH_OPENSSL
  const double sslRate = static_cast<double>(mib) / sslBest;
  std::printf("OpenSSL MD5     %8.1f MiB/s  %s\n", sslRate, ssl.c_str());
  std::printf("ratio           %8.3fx (mrpatch / OpenSSL; target >= 0.9x)\n", ownRate / sslRate);
  if (own != ssl) {
    std::fprintf(stderr, "md5_bench: the digests differ\n");
    return 1;
  }
#else
  std::printf("OpenSSL MD5     not built (OpenSSL was not found)\n");
#endif
  return 0;
}
