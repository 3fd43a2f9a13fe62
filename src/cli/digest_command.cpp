// mrpatch digest: the archive index digest of each named archive, the value a package
// records as oldDigest / newDigest.

#include <iostream>

#include "cli/commands.h"
#include "cli/file_digests.h"

namespace {

const char kDigestUsage[] =
    "usage: mrpatch digest FILE...\n"
    "\n"
    "Prints the archive index digest of each archive, one line each: <digest>  <file>.\n"
    "A file that cannot be read is reported on standard error (exit code 1); a damaged\n"
    "archive still gets its digest, with a note on standard error.\n";

}  // namespace

int RunDigest(const CArgs& args) {
  std::vector<std::string> paths;
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      std::cout << kDigestUsage;
      return kExitOk;
    }
    if (a.size() > 1 && a[0] == '-')
      return UsageError("digest", "digest: unknown option '" + a + "'");
    paths.push_back(a);
  }
  if (paths.empty()) return UsageError("digest", "digest: no file given");
  CFileSystem& files = *DefaultFileSystem();
  int code = kExitOk;
  for (const std::string& path : paths) {
    std::vector<std::string> notes;
    const std::string digest = ArchiveDigestOfFile(files, path, &notes);
    if (digest.empty()) {
      code = Failure(path + ": cannot open the file");
      continue;
    }
    std::cout << digest << "  " << path << "\n";
    for (const std::string& note : notes) std::cerr << "mrpatch: " << note << "\n";
  }
  return code;
}
