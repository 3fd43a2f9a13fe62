// Writes a small sample package (one archive entry, one whole-file entry) for the demo.
// usage: mrpatch_sample_package OUT

#include <cstdio>
#include <fstream>

#include "support/test_package.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
    return 2;
  }
  TestEntry archive;
  archive.name = "data.pkg";
  archive.oldDigest = "00000000000000000000000000000000";
  archive.newDigest = "11111111111111111111111111111111";
  archive.blocks = {TestBlock::Package(std::string(32, 'H')), TestBlock::Local(32, 4096),
                    TestBlock::Package("new member bytes")};
  const CTestPackage p =
      BuildTestPackage({archive, WholeFileEntry("readme.txt", "not a real zip yet")});
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(p.bytes.data()),
            static_cast<std::streamsize>(p.bytes.size()));
  return out ? 0 : 1;
}
