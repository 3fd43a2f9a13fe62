#pragma once

// The pre-patch comparison: decides which package entries may be applied to the
// installed files, asking the user about archives that differ.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class CPatchFileList {
 public:
  explicit CPatchFileList(const CPlatform& platform) : m_platform(platform) {}

  // Walks the (validated) package. True: the walk completed and the names to apply are
  // listed. False: the run must stop.
  bool CompareLocalFiles(WindowHandle owner, const uint8_t* package, uint32_t size);
  uint32_t GetTotalBytes() const { return m_totalBytes; }
  void CopyNames(std::vector<std::string>& names) const;

 private:
  std::vector<std::string> m_names;
  uint32_t m_totalBytes = 0;
  CPlatform m_platform;
};
