#pragma once

// The parts of the zip archive format that the reader uses. All integers are
// little-endian; offsets are from the first byte of their record.
//
//   [foreign bytes] local header + name + extra + data  (one per entry)
//                   central record + name + extra + comment  (one per entry)
//                   end record (22 bytes, the last bytes of the file: no archive comment)
//
// Only plain single-disk archives with 32-bit fields are read: positions and sizes are
// signed 32-bit quantities, so files of 2 GiB or more and the Zip64 extensions are
// refused.

#include <cstddef>
#include <cstdint>

// End of central directory record.
constexpr size_t kEndRecordSize = 22;
constexpr uint32_t kEndRecordSignature = 0x06054b50;  // "PK\5\6"
constexpr size_t kEndDirectorySize = 12;
constexpr size_t kEndDirectoryOffset = 16;
constexpr size_t kEndCommentLength = 20;

// Zip64 end of central directory locator, which lies right before the end record of an
// archive that uses the Zip64 extensions.
constexpr size_t kZip64LocatorSize = 20;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"

// Central directory file header.
constexpr size_t kCentralHeaderSize = 46;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;  // "PK\1\2"
constexpr size_t kCentralMethod = 10;
constexpr size_t kCentralCrc = 16;
constexpr size_t kCentralCompressedSize = 20;
constexpr size_t kCentralUncompressedSize = 24;
constexpr size_t kCentralNameLength = 28;
constexpr size_t kCentralExtraLength = 30;
constexpr size_t kCentralCommentLength = 32;
constexpr size_t kCentralLocalOffset = 42;

// Local file header.
constexpr size_t kLocalHeaderSize = 30;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;  // "PK\3\4"
constexpr size_t kLocalNameLength = 26;
constexpr size_t kLocalExtraLength = 28;

// Compression methods that can be decoded.
constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodDeflated = 8;

// Names are cut at this many bytes (and at their first NUL byte).
constexpr int32_t kZipNameLimit = 1024;
// Size of each of the reader's two inflate windows (compressed input, decoded output).
constexpr int32_t kZipWindowSize = 16384;
// Largest archive position or size the reader handles: positions are signed 32-bit.
constexpr int64_t kZipMaxFileSize = INT64_C(0x7fffffff);
