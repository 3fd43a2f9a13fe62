#pragma once

// Entry decoders: deliver the bytes of one open zip entry in order and keep the CRC-32
// of what they delivered. Created, driven and destroyed by CZipFileReader (OpenEntry,
// Read, CloseEntry); they point into the reader's stream, entry and windows and own
// nothing but zlib's state.

#include <zlib.h>

#include <cstdint>

#include "zip/zip_input_stream.h"
#include "zip/zip_reader.h"

class CZipFileReadInfo {
 public:
  explicit CZipFileReadInfo(const ZipEntry* entry) : m_zipEntry(entry) {}
  virtual ~CZipFileReadInfo() = default;
  CZipFileReadInfo(const CZipFileReadInfo&) = delete;
  CZipFileReadInfo& operator=(const CZipFileReadInfo&) = delete;

  // Delivers up to `size` decoded bytes; returns the count, 0 once the entry is
  // exhausted, or -1 when the data is corrupt or cut short (see Failure()).
  virtual int32_t Read(uint8_t* buffer, int32_t size) = 0;
  // Whether the CRC-32 of every byte delivered so far equals the entry's.
  virtual bool CheckCrc() = 0;

  // Why Init or Read failed.
  const char* Failure() const { return m_failure; }

 protected:
  const ZipEntry* m_zipEntry;
  const char* m_failure = "";
};

// Method 0: the entry's compressed bytes are its bytes.
class CZipFileReadInfoStored : public CZipFileReadInfo {
 public:
  CZipFileReadInfoStored(const ZipEntry* entry, CZipInputStream* stream)
      : CZipFileReadInfo(entry), m_stream(stream) {}

  // Moves the stream to the entry's first data byte. A move that fails shows later as
  // reads of 0 bytes.
  void Init();
  // Reads straight from the stream, which nothing else may move while the entry is open.
  // Delivers at most compressedSize bytes in all; fewer when the file ends early.
  int32_t Read(uint8_t* buffer, int32_t size) override;
  bool CheckCrc() override;

 private:
  CZipInputStream* m_stream;
  int32_t m_bytesRead = 0;
  bool m_finished = false;
  uint32_t m_crc = 0;
};

// Method 8: raw deflate, decoded through the reader's two windows.
class CZipFileReadInfoInflate : public CZipFileReadInfo {
 public:
  CZipFileReadInfoInflate(const ZipEntry* entry, CZipInputStream* stream, uint8_t* inputWindow,
                          int32_t inputSize, uint8_t* outputWindow, int32_t outputSize);
  ~CZipFileReadInfoInflate() override;

  // Reads the first portion of compressed data and starts inflate. False when that read
  // comes up short or inflate cannot start.
  bool Init();
  // Satisfies a read across as many inflate passes as it needs. Decoding stops in the
  // output window in which the directory's uncompressed size is reached (that window is
  // delivered whole). -1 for a size of 0 or less, corrupt data, a stream that ends before
  // the uncompressed size, or compressed data that is cut short; bytes copied earlier in
  // such a call are not counted.
  int32_t Read(uint8_t* buffer, int32_t size) override;
  bool CheckCrc() override;

 private:
  bool m_initialised = false;
  bool m_finished = false;
  z_stream m_zstream;
  CZipInputStream* m_stream;
  int32_t m_compressedRead = 0;
  int32_t m_outputPos = 0;
  uint32_t m_crc = 0;
  uint8_t* m_inputWindow;
  int32_t m_inputSize;
  uint8_t* m_outputWindow;
  int32_t m_outputSize;
};
