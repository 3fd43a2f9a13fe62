#pragma once

// Reads stretches of an installed file that a patched file copies.
//
// Bytes the installed file does not have read as zeros: all of them when the file is
// missing or could not be opened, and those past its end. Once a read has come up short
// (the file ended inside it), every later read until the next Open yields zeros as well.

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
  // entry of one block copies nothing from the installed file).
  void Open(std::string path, uint32_t blockCount);

  // Fills out[0, size) with the installed file's bytes at `offset`, zeros as above.
  void Read(uint64_t offset, uint8_t* out, size_t size);

  void Close();

  bool IsOpen() const { return m_file != nullptr; }
  // Whether reads now yield only zeros (not opened, failed to open, or ran short).
  bool Exhausted() const { return m_file == nullptr || m_failed; }
  // The open file, for copies that bypass Read; null when Exhausted().
  CReadableFile* File() const { return Exhausted() ? nullptr : m_file.get(); }
  // Marks the reader as run short, as Read does when the file ends inside a stretch.
  void MarkShort() { m_failed = true; }

 private:
  CFileSystem& m_files;
  std::unique_ptr<CReadableFile> m_file;
  bool m_failed = false;
};
