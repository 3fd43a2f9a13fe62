#include "zip/zip_reader.h"

#include <algorithm>
#include <cstring>

#include "package/coding.h"
#include "zip/zip_decoders.h"
#include "zip/zip_format.h"
#include "zip/zip_input_stream.h"

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

CZipFileReader::CZipFileReader(CFileSystem& files) : m_files(files) {}

CZipFileReader::~CZipFileReader() { Close(); }

bool CZipFileReader::Open(const std::string& path) {
  Close();
  m_error.clear();
  if (!ReadDirectory(path)) {
    Close();
    return false;
  }
  return true;
}

void CZipFileReader::Close() {
  // Decoders point at the entries and the stream: destroy them first.
  m_current.reset();
  m_index.clear();
  m_entries.clear();
  m_stream.reset();
}

const ZipEntry* CZipFileReader::FindEntry(const std::string& name) const {
  auto it = m_index.find(name);
  return it == m_index.end() ? nullptr : it->second;
}

bool CZipFileReader::Refuse(std::string reason) {
  m_error = std::move(reason);
  return false;
}

bool CZipFileReader::ReadFixedString(CZipInputStream& stream, std::string& out, int32_t length,
                                     int32_t limit) {
  const int32_t take = std::min(length, limit);
  m_inputWindow.resize(static_cast<size_t>(take) + 1);
  std::fill(m_inputWindow.begin(), m_inputWindow.end(), 0);
  const int64_t got = stream.Read(m_inputWindow.data(), take);
  m_inputWindow[static_cast<size_t>(take)] = 0;
  if (take < length) stream.Skip(length - take);
  out.assign(reinterpret_cast<const char*>(m_inputWindow.data()));
  return got == take && !stream.Failed();
}

bool CZipFileReader::ReadDirectory(const std::string& path) {
  std::unique_ptr<CReadableFile> file;
  CResult opened = m_files.OpenRead(path, &file);
  if (!opened.ok()) return Refuse("cannot open the archive: " + opened.message());
  m_stream.reset(new CZipInputStream(std::move(file)));

  const int64_t fileSize = m_stream->Size();
  if (fileSize < 0) return Refuse("cannot determine the archive's size");
  if (fileSize < static_cast<int64_t>(kEndRecordSize)) {
    return Refuse("the file is too short to be a zip archive (" + std::to_string(fileSize) +
                  " bytes)");
  }
  if (fileSize > kZipMaxFileSize) return Refuse("archives of 2 GiB or more are not supported");

  uint8_t end[kEndRecordSize];
  m_stream->Seek(fileSize - static_cast<int64_t>(kEndRecordSize));
  if (m_stream->Read(end, kEndRecordSize) != static_cast<int64_t>(kEndRecordSize)) {
    return Refuse("cannot read the end of the archive");
  }
  if (DecodeFixed32(end) != kEndRecordSignature) {
    return Refuse(
        "no end-of-directory record in the last 22 bytes "
        "(not a zip archive, or one with an archive comment)");
  }
  if (DecodeFixed16(end + kEndCommentLength) != 0) {
    return Refuse("archives with a comment are not supported");
  }
  if (fileSize >= static_cast<int64_t>(kEndRecordSize + kZip64LocatorSize)) {
    uint8_t locator[4];
    m_stream->Seek(fileSize - static_cast<int64_t>(kEndRecordSize + kZip64LocatorSize));
    if (m_stream->Read(locator, sizeof(locator)) == 4 &&
        DecodeFixed32(locator) == kZip64LocatorSignature) {
      return Refuse("Zip64 archives are not supported");
    }
  }

  const uint32_t statedSize = DecodeFixed32(end + kEndDirectorySize);
  const uint32_t statedOffset = DecodeFixed32(end + kEndDirectoryOffset);
  if (statedSize > kZipMaxFileSize || statedOffset > kZipMaxFileSize) {
    return Refuse("the directory's size or offset needs Zip64, which is not supported");
  }
  const int64_t directorySize = statedSize;
  const int64_t directoryStart = fileSize - static_cast<int64_t>(kEndRecordSize) - directorySize;
  if (directoryStart < 0) return Refuse("the directory is larger than the file");
  // Foreign bytes in front of the archive (a self-extractor stub) move everything by the
  // same distance; the directory itself lies right before the end record.
  const int64_t shift = directoryStart - static_cast<int64_t>(statedOffset);

  m_stream->Seek(directoryStart);
  int64_t consumed = 0;
  while (consumed < directorySize) {
    const std::string record = "directory record " + std::to_string(m_entries.size() + 1);
    uint8_t h[kCentralHeaderSize];
    if (m_stream->Read(h, kCentralHeaderSize) != static_cast<int64_t>(kCentralHeaderSize)) {
      return Refuse(record + " is cut short");
    }
    if (DecodeFixed32(h) != kCentralHeaderSignature) {
      return Refuse(record + " has no central header signature");
    }
    const int32_t nameLength = DecodeFixed16(h + kCentralNameLength);
    const int32_t extraLength = DecodeFixed16(h + kCentralExtraLength);
    const int32_t commentLength = DecodeFixed16(h + kCentralCommentLength);
    consumed += static_cast<int64_t>(kCentralHeaderSize) + nameLength + extraLength + commentLength;
    if (consumed > directorySize) return Refuse(record + " runs past the directory's end");

    std::unique_ptr<ZipEntry> entry(new ZipEntry);
    if (!ReadFixedString(*m_stream, entry->name, nameLength, kZipNameLimit)) {
      return Refuse(record + ": the name is cut short");
    }
    m_stream->Skip(static_cast<int64_t>(extraLength) + commentLength);

    const uint32_t compressedSize = DecodeFixed32(h + kCentralCompressedSize);
    const uint32_t uncompressedSize = DecodeFixed32(h + kCentralUncompressedSize);
    const uint32_t localOffset = DecodeFixed32(h + kCentralLocalOffset);
    if (compressedSize > kZipMaxFileSize || uncompressedSize > kZipMaxFileSize ||
        localOffset > kZipMaxFileSize) {
      return Refuse("entry " + Quoted(entry->name) +
                    ": a size or offset of 2 GiB or more (Zip64), which is not supported");
    }
    const int64_t localHeaderOffset = static_cast<int64_t>(localOffset) + shift;
    if (localHeaderOffset < 0 || localHeaderOffset >= fileSize) {
      return Refuse("entry " + Quoted(entry->name) + ": the local header lies outside the file");
    }
    entry->localHeaderOffset = static_cast<int32_t>(localHeaderOffset);
    entry->method = DecodeFixed16(h + kCentralMethod);
    entry->compressedSize = static_cast<int32_t>(compressedSize);
    entry->uncompressedSize = static_cast<int32_t>(uncompressedSize);
    entry->crc = DecodeFixed32(h + kCentralCrc);

    ZipEntry* indexed = entry.get();
    m_entries.push_back(std::move(entry));
    // A later record with the same name takes over the name; both stay in the list.
    m_index[indexed->name] = indexed;
  }
  return ReadLocalHeaders(fileSize);
}

bool CZipFileReader::ReadLocalHeaders(int64_t fileSize) {
  std::string localName;
  for (const auto& entry : m_entries) {
    const std::string what = "entry " + Quoted(entry->name);
    uint8_t h[kLocalHeaderSize];
    m_stream->Seek(entry->localHeaderOffset);
    if (m_stream->Read(h, kLocalHeaderSize) != static_cast<int64_t>(kLocalHeaderSize)) {
      return Refuse(what + ": the local header is cut short");
    }
    if (DecodeFixed32(h) != kLocalHeaderSignature) {
      return Refuse(what + ": no local header signature at its offset");
    }
    const int32_t nameLength = DecodeFixed16(h + kLocalNameLength);
    const int32_t extraLength = DecodeFixed16(h + kLocalExtraLength);
    const int64_t dataOffset = static_cast<int64_t>(entry->localHeaderOffset) +
                               static_cast<int64_t>(kLocalHeaderSize) + nameLength + extraLength;
    if (dataOffset > fileSize) return Refuse(what + ": the data starts past the end of the file");
    entry->dataOffset = static_cast<int32_t>(dataOffset);
    if (!ReadFixedString(*m_stream, localName, nameLength, kZipNameLimit)) {
      return Refuse(what + ": the local name is cut short");
    }
    if (localName != entry->name) {
      return Refuse(what + ": the local header names it " + Quoted(localName));
    }
  }
  return true;
}

bool CZipFileReader::OpenEntry(const std::string& name) {
  m_current.reset();
  const ZipEntry* entry = FindEntry(name);
  if (entry == nullptr) return Refuse("the archive has no entry named " + Quoted(name));
  if (entry->method == kMethodStored) {
    std::unique_ptr<CZipFileReadInfoStored> stored(
        new CZipFileReadInfoStored(entry, m_stream.get()));
    stored->Init();
    m_current = std::move(stored);
    return true;
  }
  if (entry->method == kMethodDeflated) {
    m_inputWindow.resize(kZipWindowSize);
    m_outputWindow.resize(kZipWindowSize);
    std::unique_ptr<CZipFileReadInfoInflate> inflater(
        new CZipFileReadInfoInflate(entry, m_stream.get(), m_inputWindow.data(), kZipWindowSize,
                                    m_outputWindow.data(), kZipWindowSize));
    if (!inflater->Init()) {
      return Refuse("entry " + Quoted(name) + ": " + inflater->Failure());
    }
    m_current = std::move(inflater);
    return true;
  }
  return Refuse("entry " + Quoted(name) + " uses compression method " +
                std::to_string(entry->method) + ", which cannot be decoded");
}

int32_t CZipFileReader::Read(void* buffer, int32_t size) {
  if (m_current == nullptr) return 0;
  const int32_t n = m_current->Read(static_cast<uint8_t*>(buffer), size);
  if (n < 0) {
    m_error = m_current->Failure();
    m_current.reset();
  }
  return n;
}

bool CZipFileReader::CloseEntry() {
  if (m_current == nullptr) return Refuse("no entry is open");
  const bool intact = m_current->CheckCrc();
  m_current.reset();
  if (!intact) return Refuse("the CRC-32 of the data differs from the directory's");
  return true;
}
