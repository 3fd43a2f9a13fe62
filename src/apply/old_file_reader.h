#pragma once

// Reads stretches of an installed file that a patched file copies, straight into the
// patched file.
//
// Bytes the installed file does not have come out as zeros: all of them when the file is
// missing or could not be opened, and those past its end. Once a stretch has come up
// short (the file ended inside it), every later stretch until the next Open is zeros as
// well, so a damaged or truncated installed file gives a file of the right length whose
// content the later digest check rejects.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

class COldFileReader {
 public:
  explicit COldFileReader(CFileSystem& files) : m_files(files) {}
  COldFileReader(const COldFileReader&) = delete;
  COldFileReader& operator=(const COldFileReader&) = delete;

  // Closes any open file, then opens `path` when `blockCount` is greater than 1 (an
  // entry of one block copies nothing from the installed file). A file that cannot be
  // opened reads as zeros.
  void Open(std::string path, uint32_t blockCount);

  // Appends `size` bytes to `out`: the installed file's bytes at `offset`, zeros as above.
  // The bytes are copied by the platform (in the kernel where it can), never through a
  // buffer that grows with `size`. A failure to read the installed file or to write `out`
  // is returned; `out` then holds an unknown prefix of the stretch.
  CResult AppendBlock(CWritableFile& out, uint64_t offset, uint64_t size);

  void Close();

  bool IsOpen() const { return m_file != nullptr; }
  // Whether stretches now come out as zeros only (not opened, failed to open, ran short).
  bool Exhausted() const { return m_file == nullptr || m_failed; }
  // Bytes appended as zeros because the installed file did not have them, since Open.
  uint64_t ZeroFilled() const { return m_zeroFilled; }

 private:
  CFileSystem& m_files;
  std::unique_ptr<CReadableFile> m_file;
  bool m_failed = false;
  uint64_t m_zeroFilled = 0;
};

// Appends `count` zero bytes to `out` in bounded writes.
CResult AppendZeros(CWritableFile& out, uint64_t count);
