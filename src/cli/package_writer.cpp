#include "cli/package_writer.h"

#include "package/coding.h"
#include "package/package_check.h"
#include "package/package_format.h"

CResult CPackageWriter::Fail(const std::string& message) {
  return CResult::Error(22, m_path + ": " + message);
}

CResult CPackageWriter::Open(const std::string& path, uint32_t entryCount) {
  m_path = path;
  m_announced = entryCount;
  m_added = 0;
  m_size = 0;
  CResult r = m_files.OpenWrite(path, &m_file);
  if (!r.ok()) return r;
  uint8_t count[kEntryCountSize];
  EncodeFixed32(count, entryCount);
  r = m_file->Append(count, sizeof count);
  if (!r.ok()) return r;
  m_size = kEntryCountSize;
  return CResult::Ok();
}

CResult CPackageWriter::Add(const CPackageEntrySpec& entry, CReadableFile& source) {
  if (!m_file) return Fail("the package is not open");
  if (m_added == m_announced)
    return Fail("more entries than the " + std::to_string(m_announced) + " announced");
  std::string why;
  if (entry.name.size() >= kNameSize) return Fail(entry.name + ": name is longer than 1023 bytes");
  if (!IsSafeEntryName(entry.name, &why)) return Fail(entry.name + ": " + why);
  for (const std::string* digest : {&entry.oldDigest, &entry.newDigest}) {
    if (!digest->empty() && !IsDigestText(*digest)) {
      return Fail(entry.name + ": digest \"" + *digest + "\" is not 32 lower-case hex digits");
    }
  }
  if (entry.blocks.empty() || !entry.blocks[0].fromPackage) {
    return Fail(entry.name + ": block 0 must be a package block");
  }
  if (entry.blocks.size() > (kMaxPackageSize - m_size) / kBlockSize) {
    return Fail(entry.name + ": too many blocks");
  }
  uint64_t dataSize = 0;
  for (const CDeltaBlock& b : entry.blocks) {
    if (b.fromPackage) dataSize += b.size;
    if (!b.fromPackage && b.offset > 0xFFFFFFFFull) {
      return Fail(entry.name + ": a local block starts past 4 GiB");
    }
  }
  const uint64_t tableSize = uint64_t{kBlockSize} * entry.blocks.size();
  const uint64_t end = m_size + kEntryRecordSize + tableSize + dataSize;
  if (end > kMaxPackageSize) {
    return Fail(entry.name + ": the package would exceed " + std::to_string(kMaxPackageSize) +
                " bytes");
  }

  std::vector<uint8_t> head(kEntryRecordSize + tableSize);
  EncodeEntryRecord(head.data(), entry.name, entry.oldDigest, entry.newDigest,
                    static_cast<uint32_t>(dataSize), static_cast<uint32_t>(entry.blocks.size()));
  uint64_t dataAt = m_size + kEntryRecordSize + tableSize;
  uint8_t* out = head.data() + kEntryRecordSize;
  for (const CDeltaBlock& b : entry.blocks) {
    const uint64_t offset = b.fromPackage ? dataAt : b.offset;
    EncodeBlock(out, b.fromPackage, static_cast<uint32_t>(offset), b.size);
    if (b.fromPackage) dataAt += b.size;
    out += kBlockSize;
  }
  CResult r = m_file->Append(head.data(), head.size());
  if (!r.ok()) return r;
  m_size += head.size();

  for (const CDeltaBlock& b : entry.blocks) {
    if (!b.fromPackage || b.size == 0) continue;
    uint64_t copied = 0;
    r = m_file->AppendFrom(source, b.offset, b.size, &copied);
    if (!r.ok()) return r;
    m_size += copied;
    if (copied != b.size) {
      return Fail(entry.name + ": the source file ended before offset " +
                  std::to_string(b.offset + b.size));
    }
  }
  ++m_added;
  return CResult::Ok();
}

CResult CPackageWriter::Close() {
  if (!m_file) return Fail("the package is not open");
  CResult r = m_file->Sync();
  CResult c = m_file->Close();
  m_file.reset();
  if (!r.ok()) return r;
  if (!c.ok()) return c;
  if (m_added != m_announced) {
    return Fail(std::to_string(m_added) + " entries written, " + std::to_string(m_announced) +
                " announced");
  }
  return CResult::Ok();
}
