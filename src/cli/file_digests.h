#pragma once

// Digests of files named by their own paths, from the same code the client checks them
// with: the archive index digest and the MD5 of a whole file. For mrpatch's own commands,
// which run no patch and have no install folder.

#include <string>
#include <vector>

#include "cli/package_builder.h"
#include "platform/platform.h"

// The archive index digest of the file at `path`; empty when it cannot be opened. What the
// digest code reports about a damaged archive is appended to `*notes`.
std::string ArchiveDigestOfFile(CFileSystem& files, const std::string& path,
                                std::vector<std::string>* notes);

class CFileDigests : public CBuildDigests {
 public:
  explicit CFileDigests(CFileSystem& files) : m_files(files) {}
  std::string ArchiveDigest(const std::string& path) override;
  std::string ContentDigest(const std::string& path) override;
  // Notes on damaged archives seen so far.
  const std::vector<std::string>& notes() const { return m_notes; }

 private:
  CFileSystem& m_files;
  std::vector<std::string> m_notes;
};
