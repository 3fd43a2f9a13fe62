#pragma once

// Builds patch packages for tests from a declarative entry list. Package blocks carry
// their bytes; their offsets are computed so that they tile the entry's data area in
// table order, as every valid package requires. Tests that need a broken package build
// a valid one and then change bytes at the offsets this writer reports.

#include <cstdint>
#include <string>
#include <vector>

struct TestBlock {
  bool fromPackage = true;
  std::string bytes;    // package block: its content
  uint32_t offset = 0;  // local block: offset in the installed file
  uint32_t size = 0;    // local block: length

  static TestBlock Package(std::string content);
  static TestBlock Local(uint32_t offset, uint32_t size);
};

struct TestEntry {
  std::string name;
  std::string oldDigest;
  std::string newDigest;
  std::vector<TestBlock> blocks;
};

struct CTestPackage {
  std::vector<uint8_t> bytes;
  // Per entry: where its record, its block table and its data area start.
  std::vector<uint64_t> recordOffsets;
  std::vector<uint64_t> tableOffsets;
  std::vector<uint64_t> dataOffsets;
};

CTestPackage BuildTestPackage(const std::vector<TestEntry>& entries);

// A whole-file entry: one package block holding `zipBytes`.
TestEntry WholeFileEntry(const std::string& name, const std::string& zipBytes,
                         const std::string& oldDigest = "");

// Writes a u32 little-endian at `offset`.
void PutU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value);
uint32_t GetU32(const std::vector<uint8_t>& bytes, uint64_t offset);
