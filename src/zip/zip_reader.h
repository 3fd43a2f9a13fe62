#pragma once

// CZipFileReader: reads a zip archive's central directory into memory, checks every
// entry's local header against it, finds entries by name, and delivers one entry at a
// time, decoded (stored or deflated), with a CRC-32 check at the end.
//
// Which archives are read: the end record must be the file's last 22 bytes (an archive
// with a comment is refused); foreign bytes in front of the archive are allowed (the
// offsets are corrected by the distance between where the directory lies and where the
// end record says it lies); every central record and local header must be present and
// carry its signature, and each local name must equal its central name. Sizes, CRC and
// method come only from the central directory, so entries written with a trailing data
// descriptor read like any other. Files of 2 GiB or more and archives that need the
// Zip64 extensions are refused. The whole archive is accepted or refused as one, and a
// refusal leaves the reader closed, with no entries.
//
// Failures are results (false, null, a negative count); Error() then says why, in one
// line. Nothing is written anywhere. One reader belongs to one thread.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class CZipInputStream;
class CZipFileReadInfo;

// One central directory record.
struct ZipEntry {
  std::string name;               // cut at its first NUL byte and at 1024 bytes
  int32_t localHeaderOffset = 0;  // from the start of the file (foreign bytes included)
  uint32_t method = 0;            // 0 stored, 8 deflated; others are refused by OpenEntry
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;
  int32_t dataOffset = 0;  // first data byte, placed by the local header
  uint32_t crc = 0;
};

class CZipFileReader {
 public:
  // Archives are opened through `files`, which must outlive the reader.
  explicit CZipFileReader(CFileSystem& files);
  ~CZipFileReader();
  CZipFileReader(const CZipFileReader&) = delete;
  CZipFileReader& operator=(const CZipFileReader&) = delete;

  // Forgets any open archive, then reads the directory of the archive at `path`. True
  // when the directory is in memory and every local header has passed its test; false
  // leaves the reader closed.
  bool Open(const std::string& path);
  // Closes the file, the open entry and forgets every entry. Harmless when closed.
  void Close();
  bool IsOpen() const { return m_stream != nullptr; }

  // The entry whose name equals `name` exactly (all bytes; letter case and separators
  // matter), or null. When several records carry the name, the last one in the directory.
  const ZipEntry* FindEntry(const std::string& name) const;
  // Every central record, in directory order (duplicates included).
  const std::vector<std::unique_ptr<ZipEntry>>& Entries() const { return m_entries; }

  // Opens the entry named `name` for reading, closing any open entry first (without a
  // CRC check). False when the name is not found, its method is neither stored nor
  // deflated, or the deflate decoder cannot start; no entry is open afterwards.
  bool OpenEntry(const std::string& name);
  // Delivers up to `size` decoded bytes of the open entry into `buffer`. Returns the
  // count (0: the entry is exhausted, or none is open), or -1 when the entry's data is
  // corrupt or cut short; the entry is then closed, so later calls return 0.
  int32_t Read(void* buffer, int32_t size);
  // Whether the CRC-32 of every byte delivered equals the directory's; closes the entry.
  // False when no entry is open.
  bool CloseEntry();

  // Why the last failed Open, OpenEntry, Read or CloseEntry failed.
  const std::string& Error() const { return m_error; }

 private:
  bool ReadDirectory(const std::string& path);
  bool ReadLocalHeaders(int64_t fileSize);
  // Reads a field of `length` bytes into `out`, keeping at most `limit` of them and
  // stopping at the first NUL; the stream ends up just after the field. False when the
  // field could not be read whole.
  bool ReadFixedString(CZipInputStream& stream, std::string& out, int32_t length, int32_t limit);
  // Records why the archive is refused; returns false.
  bool Refuse(std::string reason);

  CFileSystem& m_files;

  std::unique_ptr<CZipInputStream> m_stream;
  std::vector<std::unique_ptr<ZipEntry>> m_entries;
  std::map<std::string, ZipEntry*> m_index;  // byte-wise order; not owning
  std::vector<uint8_t> m_inputWindow;        // scratch for names; inflate input afterwards
  std::vector<uint8_t> m_outputWindow;       // inflate output
  std::unique_ptr<CZipFileReadInfo> m_current;

  std::string m_error;
};
