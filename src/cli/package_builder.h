#pragma once

// The package builder behind `mrpatch build`: compares an old and a new client folder and
// writes the package that turns the first into the second.
//
// For every file of the new folder, in byte-wise order of its name:
//   - a file equal to the old folder's file of the same name is left out;
//   - a ".pkg" archive present in both folders becomes an archive entry: a delta against
//     the old archive (cli/delta_encoder.h), with the archive index digests of the old and
//     the new archive as oldDigest and newDigest;
//   - a ".pkg" archive that only the new folder has becomes an archive entry made of
//     package blocks alone, with an empty oldDigest (nothing to compare) and the new
//     archive's index digest as newDigest, so that the client still verifies it;
//   - any other changed or added file becomes a whole-file entry: a one-member deflated
//     zip of the new file under the entry's name, oldDigest the MD5 of the new content.
// Names use '\' between folders, as the client's platform does. The output is written
// under a temporary name, validated, and only then renamed to the requested path, so a
// failed build never leaves a package behind. The same folders always give the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/delta_encoder.h"
#include "platform/platform.h"

// The fingerprints the builder records, from the same code the client checks them with.
class CBuildDigests {
 public:
  virtual ~CBuildDigests() = default;
  // Archive index digest of the archive at `path`; empty when it cannot be read.
  virtual std::string ArchiveDigest(const std::string& path) = 0;
  // MD5 of the whole file at `path`; empty when it cannot be read.
  virtual std::string ContentDigest(const std::string& path) = 0;
};

struct CBuildOptions {
  std::string oldFolder;
  std::string newFolder;
  std::string output;
  CDeltaOptions delta;
};

struct CBuiltEntry {
  enum class EKind { kArchiveDelta, kNewArchive, kWholeFile };
  std::string name;
  EKind kind = EKind::kWholeFile;
  uint64_t newFileSize = 0;
  uint64_t dataSize = 0;
  uint64_t blockCount = 0;
  uint64_t copiedBytes = 0;  // taken from the installed file
};

struct CBuildReport {
  std::vector<CBuiltEntry> entries;
  uint32_t unchanged = 0;
  // Files of the old folder that the new one lacks: a package cannot remove files.
  std::vector<std::string> oldOnly;
  // Notes worth showing the operator (one line each).
  std::vector<std::string> warnings;
  uint64_t packageSize = 0;
};

const char* KindName(CBuiltEntry::EKind kind);

CResult BuildPackage(CFileSystem& files, CBuildDigests& digests, const CBuildOptions& options,
                     CBuildReport* report);
