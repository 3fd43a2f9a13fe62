#include "package/package_check.h"

#include <cstring>
#include <map>

#include "package/coding.h"
#include "package/package_format.h"

namespace {

std::string ToText(uint64_t v) { return std::to_string(v); }

// Two names that the install folder cannot tell apart: Windows file names ignore case,
// and both separators mean the same.
std::string FoldName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool HasNul(const char* field, size_t width) { return std::memchr(field, 0, width) != nullptr; }

}  // namespace

bool IsSafeEntryName(const std::string& name, std::string* why) {
  if (name.empty()) {
    *why = "name is empty";
    return false;
  }
  if (name[0] == '\\' || name[0] == '/') {
    *why = "name is an absolute path";
    return false;
  }
  if (name.size() >= 2 && name[1] == ':') {
    *why = "name has a drive prefix";
    return false;
  }
  if (name.find(':') != std::string::npos) {
    *why = "name contains ':'";
    return false;
  }
  if (name.back() == '\\' || name.back() == '/') {
    *why = "name ends with a separator";
    return false;
  }
  // Temporary files lie beside their targets under this prefix: a name carrying it could
  // be another entry's temporary file.
  const size_t fileStart = name.find_last_of("\\/") + 1;
  if (name.compare(fileStart, std::strlen(kTempPrefix), kTempPrefix) == 0) {
    *why = std::string("file name starts with \"") + kTempPrefix + "\"";
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && name[end] != '\\' && name[end] != '/') ++end;
    if (name.compare(start, end - start, "..") == 0 && end - start == 2) {
      *why = "name contains a '..' component";
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::string CPackageCheck::Describe() const {
  if (ok) return "package is valid";
  std::string text = "invalid package: ";
  if (entryIndex != kNoEntry) {
    text += "entry " + std::to_string(entryIndex);
    if (!entryName.empty()) text += " \"" + entryName + "\"";
    text += ": ";
  }
  return text + rule;
}

CPackageCheck ValidatePackage(const uint8_t* data, uint64_t size) {
  CPackageCheck check;
  auto fail = [&check](int64_t index, std::string name, std::string rule) {
    check.ok = false;
    check.entryIndex = index;
    check.entryName = std::move(name);
    check.rule = std::move(rule);
    return check;
  };

  if (data == nullptr || size < kEntryCountSize) {
    return fail(CPackageCheck::kNoEntry, "", "package is shorter than its 4-byte entry count");
  }
  if (size > kMaxPackageSize) {
    return fail(CPackageCheck::kNoEntry, "",
                "package is larger than " + ToText(kMaxPackageSize) + " bytes");
  }
  check.entryCount = DecodeFixed32(data);

  std::map<std::string, uint32_t> seen;
  uint64_t pos = kEntryCountSize;
  for (uint32_t i = 0; i < check.entryCount; ++i) {
    if (pos == size) {
      return fail(CPackageCheck::kNoEntry, "",
                  "entryCount is " + ToText(check.entryCount) + " but the package holds " +
                      ToText(i) + " entries");
    }
    if (pos + kEntryRecordSize > size) {
      return fail(i, "", "entry record runs past the end of the package");
    }
    PatchEntryRecord record;
    std::memcpy(&record, data + pos, sizeof record);

    if (!HasNul(record.name, kNameSize)) {
      return fail(i, "", "name has no terminating NUL within 1024 bytes");
    }
    CPackageEntryInfo info;
    info.recordOffset = pos;
    info.name = RecordName(record);
    std::string why;
    if (!IsSafeEntryName(info.name, &why)) return fail(i, info.name, why);
    if (!HasNul(record.oldDigest, kDigestFieldSize)) {
      return fail(i, info.name, "oldDigest has no terminating NUL");
    }
    if (!HasNul(record.newDigest, kDigestFieldSize)) {
      return fail(i, info.name, "newDigest has no terminating NUL");
    }
    info.oldDigest = RecordOldDigest(record);
    info.newDigest = RecordNewDigest(record);
    info.dataSize = record.dataSize;
    info.blockCount = record.blockCount;

    auto previous = seen.find(FoldName(info.name));
    if (previous != seen.end()) {
      return fail(i, info.name, "name repeats the name of entry " + ToText(previous->second));
    }
    seen.emplace(FoldName(info.name), i);

    if (record.blockCount == 0) return fail(i, info.name, "blockCount is 0");
    const uint64_t tableStart = pos + kEntryRecordSize;
    const uint64_t tableEnd = tableStart + uint64_t{kBlockSize} * record.blockCount;
    if (tableEnd > size) return fail(i, info.name, "block table runs past the end of the package");
    const uint64_t dataStart = tableEnd;
    const uint64_t dataEnd = dataStart + record.dataSize;
    if (dataEnd > size) return fail(i, info.name, "data area runs past the end of the package");

    uint64_t cursor = dataStart;
    for (uint32_t b = 0; b < record.blockCount; ++b) {
      PatchBlock block;
      std::memcpy(&block, data + tableStart + uint64_t{kBlockSize} * b, sizeof block);
      info.newFileSize += block.size;
      if (block.fromPackage == 0) {
        if (b == 0) return fail(i, info.name, "block 0 is not a package block");
        ++info.localBlocks;
        continue;
      }
      ++info.packageBlocks;
      if (block.offset != cursor) {
        if (b == 0) {
          return fail(i, info.name,
                      "block 0 starts at " + ToText(block.offset) +
                          ", not at the entry's data area (" + ToText(dataStart) + ")");
        }
        return fail(i, info.name,
                    "package block " + ToText(b) + " starts at " + ToText(block.offset) +
                        ", not where the previous package block ends (" + ToText(cursor) + ")");
      }
      cursor += block.size;
      if (cursor > dataEnd) {
        return fail(i, info.name,
                    "package block " + ToText(b) + " runs past the entry's data area");
      }
    }
    if (cursor != dataEnd) {
      return fail(i, info.name,
                  "package blocks cover " + ToText(cursor - dataStart) + " of the " +
                      ToText(record.dataSize) + " bytes of the data area");
    }
    check.entries.push_back(std::move(info));
    pos = dataEnd;
  }
  if (pos != size) {
    return fail(CPackageCheck::kNoEntry, "",
                ToText(size - pos) + " bytes follow the last of the " +
                    ToText(check.entryCount) + " entries");
  }
  check.ok = true;
  return check;
}
