#pragma once

// A small generated game client in two versions, for build-then-apply tests: ".pkg"
// archives in the client's archive layout whose new versions keep, replace, drop and add
// members, a new archive, an unchanged archive, a tiny archive, and other files (an
// executable, a library in a subfolder, a text file, an unchanged file).

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// An archive: 32-byte header (u32 index offset at byte 20), the members, then the index
// (u32 0, u32 record count, u32 index length; records of u32 length + bytes).
std::string MakeArchive(const std::vector<std::string>& members, uint32_t version);

// Deterministic pseudo-random bytes.
std::string SampleBytes(size_t n, uint64_t seed);

struct CSampleClient {
  // Relative path with '/' -> content.
  std::map<std::string, std::string> oldFiles;
  std::map<std::string, std::string> newFiles;
};

CSampleClient MakeSampleClient(uint64_t seed);

// Writes `files` below dir.Path(sub) ("" for the folder itself).
void WriteClient(const CTempDir& dir, const std::string& sub,
                 const std::map<std::string, std::string>& files);
// Every file below dir.Path(sub), relative to it.
std::map<std::string, std::string> ReadClient(const CTempDir& dir, const std::string& sub);
