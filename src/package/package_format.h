#pragma once

// The patch package: the whole payload of a patcher. Layout (all integers u32
// little-endian, structures back to back with no alignment, offsets absolute from the
// package's first byte):
//
//   u32 entryCount
//   entry 0: PatchEntryRecord (1100) | blockCount x PatchBlock (12) | dataSize bytes
//   entry 1: ...
//
// See docs/package-format.md for the full description and the invariants that
// ValidatePackage enforces.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The package records are read in place and require a little-endian host."
#endif

constexpr size_t kEntryCountSize = 4;
constexpr size_t kNameSize = 1024;
constexpr size_t kDigestFieldSize = 33;
constexpr size_t kDigestTextLength = 32;
constexpr size_t kEntryRecordSize = 1100;
constexpr size_t kBlockSize = 12;
// The memory cursors cover at most this many bytes, so no package may be larger.
constexpr uint64_t kMaxPackageSize = 2147483647u;
constexpr const char* kArchiveExtension = ".pkg";
constexpr const char* kTempPrefix = ".temp_";

#pragma pack(push, 1)
// One entry's record, exactly as it lies in the package.
struct PatchEntryRecord {
  char name[kNameSize];             // NUL-terminated path relative to the install folder
  char oldDigest[kDigestFieldSize]; // digest text or empty
  char newDigest[kDigestFieldSize]; // digest text or empty
  uint8_t filler[2];                // never read
  uint32_t dataSize;                // bytes of the entry's data area
  uint32_t blockCount;              // PatchBlock headers that follow the record
};

// One block header: where `size` bytes of the new file come from.
struct PatchBlock {
  uint8_t fromPackage;  // non-zero: `offset` is absolute in the package; 0: in the installed file
  uint8_t filler[3];    // never read
  uint32_t offset;
  uint32_t size;
};
#pragma pack(pop)

static_assert(sizeof(PatchEntryRecord) == kEntryRecordSize, "record layout");
static_assert(offsetof(PatchEntryRecord, name) == 0, "record layout");
static_assert(offsetof(PatchEntryRecord, oldDigest) == 1024, "record layout");
static_assert(offsetof(PatchEntryRecord, newDigest) == 1057, "record layout");
static_assert(offsetof(PatchEntryRecord, filler) == 1090, "record layout");
static_assert(offsetof(PatchEntryRecord, dataSize) == 1092, "record layout");
static_assert(offsetof(PatchEntryRecord, blockCount) == 1096, "record layout");
static_assert(sizeof(PatchBlock) == kBlockSize, "block layout");
static_assert(offsetof(PatchBlock, fromPackage) == 0, "block layout");
static_assert(offsetof(PatchBlock, offset) == 4, "block layout");
static_assert(offsetof(PatchBlock, size) == 8, "block layout");

// Texts of a record's fixed fields, up to their NUL. The caller guarantees the NUL lies
// within the field (ValidatePackage checks it); these never read past the field.
inline std::string RecordName(const PatchEntryRecord& r) {
  return std::string(r.name, strnlen(r.name, kNameSize));
}
inline std::string RecordOldDigest(const PatchEntryRecord& r) {
  return std::string(r.oldDigest, strnlen(r.oldDigest, kDigestFieldSize));
}
inline std::string RecordNewDigest(const PatchEntryRecord& r) {
  return std::string(r.newDigest, strnlen(r.newDigest, kDigestFieldSize));
}

// True when `digest` is a digest text: exactly 32 lower-case hexadecimal digits.
bool IsDigestText(const std::string& digest);

// Encoders used by package writers. The filler bytes are written as zeros.
void EncodeEntryRecord(uint8_t* out, const std::string& name, const std::string& oldDigest,
                       const std::string& newDigest, uint32_t dataSize, uint32_t blockCount);
void EncodeBlock(uint8_t* out, bool fromPackage, uint32_t offset, uint32_t size);
