// Arbitrary bytes as an installed ".pkg" archive: the index digest must end, read only
// inside the file, allocate in proportion to nothing the file claims, and give either a
// 32-digit digest or nothing.

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/package_format.h"
#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "verify/archive_digest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryFileSystem files;
  files.Put("/c/a.pkg", std::string(reinterpret_cast<const char*>(data), size));
  CRecordingTrace trace;
  g_installFolder = "/c/";
  const std::string digest = GetArchiveDigest(files, trace, "a.pkg");
  if (!IsDigestText(digest)) __builtin_trap();
  return 0;
}
