// Arbitrary bytes as a patch package: validation must accept or refuse without reading
// outside the bytes; an accepted package must load, and the comparison and the apply
// stage must walk it to the end over an in-memory install folder without leaving a
// temporary file behind.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_check.h"
#include "package/package_format.h"
#include "platform/path.h"
#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "verify/patch_file_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) return 0;

  // New files are written in full, zeros included: keep the work small.
  uint64_t newBytes = 0;
  for (const CPackageEntryInfo& e : check.entries) newBytes += e.newFileSize;
  if (newBytes > (uint64_t{1} << 20)) return 0;

  CMemoryFileSystem files;
  // Every entry's installed file exists, made of the package's own first bytes.
  const std::string installed(reinterpret_cast<const char*>(data), size < 256 ? size : 256);
  for (const CPackageEntryInfo& e : check.entries) files.Put("/c/" + e.name, installed);

  CFakePlatform fake;
  fake.files = &files;
  fake.package.bytes.assign(data, data + size);
  fake.ui.answers.assign(check.entries.size(), true);  // leave mismatching archives out
  g_installFolder = "/c/";

  CPatchRun run(fake.Get());
  if (!run.LoadPackage()) __builtin_trap();  // a valid package always loads
  CPatchFileList list(fake.Get());
  if (!list.CompareLocalFiles(nullptr, data, static_cast<uint32_t>(size))) __builtin_trap();
  std::vector<std::string> names;
  list.CopyNames(names);
  run.ApplyPatch(names);

  for (const std::string& path : files.Paths()) {
    if (FileNamePart(path).compare(0, std::strlen(kTempPrefix), kTempPrefix) == 0) {
      fprintf(stderr, "temporary file left: %s\n%s", path.c_str(), fake.trace.Dump().c_str());
      __builtin_trap();
    }
  }
  return 0;
}
