// Arbitrary bytes as a patch package: validation must accept or refuse without reading
// outside the bytes, and an accepted package must load.

#include <cstddef>
#include <cstdint>

#include "package/package_check.h"
#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) return 0;

  CMemoryFileSystem files;
  CFakePlatform fake;
  fake.files = &files;
  fake.package.bytes.assign(data, data + size);
  CPatchRun run(fake.Get());
  if (!run.LoadPackage()) __builtin_trap();  // a valid package always loads
  return 0;
}
