// Arbitrary bytes as a zip archive: the reader, both decoders and the extraction in place
// must refuse or deliver without reading outside the file, and the extraction must never
// claim success for an entry it did not deliver whole.

#include <cstddef>
#include <cstdint>
#include <string>

#include "run/patch_run.h"
#include "support/fake_files.h"
#include "support/fake_platform.h"
#include "zip/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryFileSystem files;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  files.Put("/c/a.zip", bytes);

  {
    CZipFileReader archive(files);
    if (archive.Open("/c/a.zip")) {
      char buffer[10240];
      for (const auto& entry : archive.Entries()) {
        if (!archive.OpenEntry(entry->name)) continue;
        int64_t total = 0;
        for (;;) {
          const int32_t n = archive.Read(buffer, sizeof buffer);
          if (n <= 0) break;
          total += n;
          // Output is bounded by what the directory claims plus one window.
          if (total > int64_t{entry->uncompressedSize} + 16384 + int64_t{sizeof buffer}) {
            __builtin_trap();
          }
        }
        archive.CloseEntry();
      }
    }
  }

  // The extraction: whatever the archive's first entry name is.
  CFakePlatform fake;
  fake.files = &files;
  files.Put("/c/x.dat", bytes);
  std::string name = "x.dat";
  {
    CZipFileReader probe(files);
    if (probe.Open("/c/a.zip") && !probe.Entries().empty()) name = probe.Entries()[0]->name;
  }
  CPatchRun run(fake.Get());
  const bool whole = run.ExtractZipInPlace("/c/x.dat", name);
  if (files.Exists("/c/x.dat.zip")) __builtin_trap();  // the archive copy never stays
  if (whole && !files.Exists("/c/x.dat")) __builtin_trap();
  return 0;
}
