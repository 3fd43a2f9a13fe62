#pragma once

// Structural validation of a patch package, done once before anything reads it.
// A package that passes can be walked by every reader (the comparison, the apply loop,
// the replacement step) without any offset leaving the package, going backwards or
// looping, and every name it carries is a safe path inside the install folder.

#include <cstdint>
#include <string>
#include <vector>

// What the validator learned about one entry (also what `mrpatch inspect` lists).
struct CPackageEntryInfo {
  uint64_t recordOffset = 0;
  std::string name;
  std::string oldDigest;
  std::string newDigest;
  uint32_t dataSize = 0;
  uint32_t blockCount = 0;
  uint32_t packageBlocks = 0;
  uint32_t localBlocks = 0;
  uint64_t newFileSize = 0;  // sum of every block's size
};

struct CPackageCheck {
  bool ok = false;
  // The broken rule; kNoEntry when it concerns the package as a whole.
  static constexpr int64_t kNoEntry = -1;
  int64_t entryIndex = kNoEntry;
  std::string entryName;
  std::string rule;
  uint32_t entryCount = 0;
  std::vector<CPackageEntryInfo> entries;

  // One line: "invalid package: entry 3 \"x.pkg\": <rule>".
  std::string Describe() const;
};

CPackageCheck ValidatePackage(const uint8_t* data, uint64_t size);

// Whether `name` may name a file inside the install folder. On false, `*why` says why.
bool IsSafeEntryName(const std::string& name, std::string* why);
