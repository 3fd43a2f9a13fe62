#pragma once

// Writes a patch package to a file as a stream: the entry count, then each entry's record,
// block table and data area, with the data copied straight from the file it comes from.
// Nothing but one entry's block table is held in memory, whatever the package's size.
//
// The writer enforces what every reader of a package relies on: block 0 is a package
// block at the start of the entry's own data area, the package blocks tile the data area
// in table order, the announced number of entries is written, and the package stays
// within the 2147483647 bytes that a reader can address. Texts are checked too: a name
// must be a safe relative path, a digest empty or 32 lower-case hexadecimal digits.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/delta_encoder.h"
#include "platform/platform.h"

struct CPackageEntrySpec {
  std::string name;
  std::string oldDigest;
  std::string newDigest;
  // Package blocks name stretches of the entry's source file (CDeltaBlock::offset is an
  // offset in that file); local blocks name stretches of the installed file.
  std::vector<CDeltaBlock> blocks;
};

class CPackageWriter {
 public:
  explicit CPackageWriter(CFileSystem& files) : m_files(files) {}

  // Creates (or truncates) `path` and writes the entry count.
  CResult Open(const std::string& path, uint32_t entryCount);
  // Appends one entry, copying its package blocks from `source`.
  CResult Add(const CPackageEntrySpec& entry, CReadableFile& source);
  // Flushes and closes the package. Fails when fewer entries were added than announced.
  CResult Close();

  // Bytes written so far.
  uint64_t size() const { return m_size; }

 private:
  CResult Fail(const std::string& message);

  CFileSystem& m_files;
  std::string m_path;
  std::unique_ptr<CWritableFile> m_file;
  uint32_t m_announced = 0;
  uint32_t m_added = 0;
  uint64_t m_size = 0;
};
