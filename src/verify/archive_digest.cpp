// The archive index digest. A ".pkg" archive starts with a 32-byte header whose u32 at
// byte 20 is the absolute offset of the index; the index is a 12-byte head (its second
// u32 is the record count) followed by records, each a u32 length and that many bytes.
// The digest is the MD5 of the head and the records, in file order.
//
// The index is read sequentially through one window of bounded size, so memory does not
// depend on any length field. Every length is checked against the bytes that remain in
// the file before it is followed. A damaged archive (one that ends before its header,
// head or records do) is reported with a trace line, and the digest then covers only the
// complete parts read before the damage: the head when whole, every whole record, and the
// length field of a record whose bytes are missing. Such a byte run cannot be the index of
// a well-formed archive (that would hold all the records its head counts, and all the
// bytes its last length field names), so the text differs from every recorded digest.

#include "verify/archive_digest.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "package/coding.h"
#include "run/patch_run.h"
#include "verify/md5.h"

namespace {

constexpr uint64_t kArchiveHeaderSize = 32;
constexpr size_t kIndexOffsetField = 20;
constexpr uint64_t kIndexHeadSize = 12;
constexpr uint64_t kRecordLengthSize = 4;
constexpr size_t kReadWindow = size_t{64} << 10;

std::string ToText(uint64_t value) { return std::to_string(value); }

// Reads a stretch of a file front to back through one window, which is never larger than
// the stretch itself.
class CSequentialReader {
 public:
  CSequentialReader(CReadableFile& file, uint64_t start, uint64_t end)
      : m_file(file),
        m_next(start),
        m_end(end),
        m_window(static_cast<size_t>(
            std::max<uint64_t>(1, std::min<uint64_t>(kReadWindow, end - start)))) {}

  // Bytes between the read position and the end of the stretch.
  uint64_t Remaining() const { return (m_end - m_next) + (m_filled - m_used); }
  bool ReadFailed() const { return m_readFailed; }

  // Copies the next `n` bytes to `out`. False when the file delivers fewer.
  bool Read(uint8_t* out, size_t n) {
    while (n > 0) {
      if (!Fill()) return false;
      const size_t take = std::min(n, m_filled - m_used);
      std::memcpy(out, m_window.data() + m_used, take);
      m_used += take;
      out += take;
      n -= take;
    }
    return true;
  }

  // Feeds the next `n` bytes to `hash`. False when the file delivers fewer.
  bool Feed(uint64_t n, CMD5Checksum& hash) {
    while (n > 0) {
      if (!Fill()) return false;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(n, m_filled - m_used));
      hash.Update(m_window.data() + m_used, static_cast<uint32_t>(take));
      m_used += take;
      n -= take;
    }
    return true;
  }

 private:
  // Makes at least one unread byte available in the window.
  bool Fill() {
    if (m_used < m_filled) return true;
    if (m_next >= m_end) return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(m_window.size(), m_end - m_next));
    const int64_t got = m_file.ReadAt(m_next, m_window.data(), want);
    if (got <= 0) {
      // The file is shorter than it was when opened, or the read failed.
      m_readFailed = got < 0;
      m_end = m_next;
      return false;
    }
    m_used = 0;
    m_filled = static_cast<size_t>(got);
    m_next += static_cast<uint64_t>(got);
    if (m_filled < want) m_end = m_next;  // the file ended early: nothing more to read
    return true;
  }

  CReadableFile& m_file;
  uint64_t m_next;  // file offset of the first byte not yet in the window
  uint64_t m_end;
  std::vector<uint8_t> m_window;
  size_t m_used = 0;
  size_t m_filled = 0;
  bool m_readFailed = false;
};

// Digests the index of an opened archive of `size` bytes into `hash`. Returns an empty
// text when the index is whole, else what is wrong with it.
std::string DigestIndex(CReadableFile& file, uint64_t size, CMD5Checksum& hash) {
  if (size < kArchiveHeaderSize) {
    return "the file has " + ToText(size) + " bytes, fewer than its " + ToText(kArchiveHeaderSize) +
           "-byte header";
  }
  uint8_t header[kArchiveHeaderSize] = {};
  if (file.ReadAt(0, header, sizeof header) != static_cast<int64_t>(sizeof header)) {
    return "its header cannot be read";
  }
  const uint64_t indexOffset = DecodeFixed32(header + kIndexOffsetField);
  if (indexOffset > size || size - indexOffset < kIndexHeadSize) {
    return "the index at offset " + ToText(indexOffset) + " does not fit in the file's " +
           ToText(size) + " bytes";
  }

  CSequentialReader reader(file, indexOffset, size);
  // A read that stops early is either the file shrinking under us or an I/O error.
  auto cut = [&reader](const std::string& what) {
    return reader.ReadFailed() ? "a read failed: " + what : what;
  };
  uint8_t head[kIndexHeadSize] = {};
  if (!reader.Read(head, sizeof head)) return cut("the file ends inside the index head");
  hash.Update(head, sizeof head);
  const uint32_t count = DecodeFixed32(head + 4);
  // Every record has at least its length field.
  if (count > reader.Remaining() / kRecordLengthSize) {
    return "the index counts " + ToText(count) + " records but only " + ToText(reader.Remaining()) +
           " bytes follow its head";
  }

  for (uint32_t r = 0; r < count; ++r) {
    uint8_t lengthField[kRecordLengthSize] = {};
    if (!reader.Read(lengthField, sizeof lengthField)) {
      return cut("the file ends before index record " + ToText(r) + " of " + ToText(count));
    }
    hash.Update(lengthField, sizeof lengthField);
    const uint32_t length = DecodeFixed32(lengthField);
    if (length > reader.Remaining()) {
      return "index record " + ToText(r) + " claims " + ToText(length) + " bytes but only " +
             ToText(reader.Remaining()) + " remain";
    }
    if (!reader.Feed(length, hash)) {
      return cut("the file ends inside index record " + ToText(r) + " of " + ToText(count));
    }
  }
  return std::string();
}

}  // namespace

std::string GetArchiveDigest(CFileSystem& files, CTrace& trace, std::string name) {
  // The argument becomes the full path.
  name.insert(0, g_installFolder);
  const std::string& path = name;

  CMD5Hash hash;
  std::unique_ptr<CReadableFile> file;
  if (!files.OpenRead(path, &file).ok()) {
    trace.Line("LocalFile: " + path + " is not exist!!");
    return std::string();
  }
  const int64_t size = file->Size();
  const std::string damage = size < 0 ? std::string("its size cannot be read")
                                      : DigestIndex(*file, static_cast<uint64_t>(size), hash);
  file.reset();
  if (!damage.empty()) trace.Line("LocalFile: " + path + " is damaged: " + damage);
  return hash.HexDigest();
}
