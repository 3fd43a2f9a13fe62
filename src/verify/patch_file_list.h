#pragma once

// The pre-patch comparison: decides which package entries may be applied to the
// installed files, asking the user about archives that differ.
//
// Worker thread only. The package must have passed ValidatePackage.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class CPatchFileList {
 public:
  explicit CPatchFileList(const CPlatform& platform) : m_platform(platform) {}

  // Walks the (validated) package once. An archive entry (".pkg", more than one block,
  // an old digest) is taken when the installed archive's index digest equals its old
  // digest, and left out silently when it already equals its new digest (the archive
  // was patched by an earlier run). Otherwise the user is asked, with `owner` owning
  // the question: Yes leaves the entry out, anything else stops the walk. Every other
  // entry is taken without a test.
  // True: the walk completed and the names to apply are listed. False: the user chose to
  // stop (or the package could not be walked); the run must end.
  bool CompareLocalFiles(WindowHandle owner, const uint8_t* package, uint32_t size);

  // Sum of dataSize over every entry read, modulo 2^32: the progress total.
  uint32_t GetTotalBytes() const { return m_totalBytes; }
  // Appends the names to apply, in package order.
  void CopyNames(std::vector<std::string>& names) const;
  // Sum of dataSize over the entries left out as already patched, modulo 2^32: progress
  // that counts as done before the apply stage starts.
  uint32_t GetPatchedBytes() const { return m_patchedBytes; }

 private:
  std::vector<std::string> m_names;
  uint32_t m_totalBytes = 0;

  // Additions of this implementation.
  uint32_t m_patchedBytes = 0;
  CPlatform m_platform;
};
