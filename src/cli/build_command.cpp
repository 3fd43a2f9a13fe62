// mrpatch build: the package that turns an old client folder into a new one
// (see cli/package_builder.h).

#include <chrono>
#include <cstdlib>
#include <iostream>

#include "cli/commands.h"
#include "cli/file_digests.h"
#include "cli/package_builder.h"
#include "cli/progress_display.h"

namespace {

const char kBuildUsage[] =
    "usage: mrpatch build --old DIR --new DIR -o PACKAGE [--block-size N] [--quiet]\n"
    "\n"
    "Makes the package that turns the client in --old into the client in --new.\n"
    "Unchanged files are left out; a changed \".pkg\" archive becomes a delta against the\n"
    "old one; every other changed or added file travels whole, zipped.\n"
    "  --old DIR          the client as installed now\n"
    "  --new DIR          the client as it must become\n"
    "  -o PACKAGE         the package to write\n"
    "  --block-size N     bytes per hashed window of an old archive (default: by size)\n"
    "  --quiet            print nothing but errors\n";

}  // namespace

int RunBuild(const CArgs& args) {
  CBuildOptions options;
  bool quiet = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) {
      std::cout << kBuildUsage;
      return kExitOk;
    }
    if (a == "--quiet") {
      quiet = true;
      continue;
    }
    std::string blockSize;
    std::string* target = a == "--old"                     ? &options.oldFolder
                          : a == "--new"                   ? &options.newFolder
                          : (a == "-o" || a == "--output") ? &options.output
                          : a == "--block-size"            ? &blockSize
                                                           : nullptr;
    if (target == nullptr) return UsageError("build", "build: unexpected argument '" + a + "'");
    if (!TakeValue(args, &i, target) || target->empty()) {
      return UsageError("build", "build: " + a + " needs a value");
    }
    if (target == &blockSize) {
      char* end = nullptr;
      const unsigned long n = std::strtoul(blockSize.c_str(), &end, 10);
      if (*end != '\0' || n < 8 || n > (1u << 20) || n % 8 != 0) {
        return UsageError("build", "build: --block-size must be a multiple of 8 from 8 to 1048576");
      }
      options.delta.blockSize = static_cast<uint32_t>(n);
    }
  }
  if (options.oldFolder.empty())
    return UsageError("build", "build: no old folder given (--old DIR)");
  if (options.newFolder.empty())
    return UsageError("build", "build: no new folder given (--new DIR)");
  if (options.output.empty()) return UsageError("build", "build: no output given (-o PACKAGE)");

  CFileSystem& files = *DefaultFileSystem();
  CFileDigests digests(files);
  CBuildReport report;
  const auto started = std::chrono::steady_clock::now();
  const CResult r = BuildPackage(files, digests, options, &report);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!r.ok()) return Failure("build: " + r.message());
  if (quiet) return kExitOk;
  for (const CBuiltEntry& e : report.entries) {
    std::cout << "  " << e.name << ": " << KindName(e.kind) << ", " << FormatBytes(e.newFileSize)
              << ", " << e.blockCount << " blocks, " << FormatBytes(e.dataSize) << " carried\n";
  }
  for (const std::string& name : report.oldOnly) {
    std::cerr << "mrpatch: build: " << name
              << ": only in the old folder; a package cannot remove it, it stays installed\n";
  }
  for (const std::string& note : report.warnings) std::cerr << "mrpatch: build: " << note << "\n";
  for (const std::string& note : digests.notes()) std::cerr << "mrpatch: build: " << note << "\n";
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.2f s", seconds);
  std::cout << options.output << ": " << report.entries.size() << " entries (" << report.unchanged
            << " files unchanged), " << report.packageSize << " bytes, built in " << elapsed
            << "\n";
  return kExitOk;
}
