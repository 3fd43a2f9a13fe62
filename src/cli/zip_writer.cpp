#include "cli/zip_writer.h"

#include <zip.h>

#include <cstdio>

namespace {

// 2000-01-01 00:00:00 UTC: any fixed time in the range a zip time stamp can hold.
constexpr time_t kFixedTime = 946684800;
// A regular file readable by everyone, as a Unix host records it.
constexpr zip_uint32_t kFileAttributes = 0100644u << 16;

CResult ZipError(zip_t* archive, const std::string& what) {
  return CResult::Error(5, what + ": " + zip_strerror(archive));
}

}  // namespace

CResult WriteSingleMemberZip(const std::string& sourcePath, const std::string& memberName,
                             const std::string& zipPath) {
  std::remove(zipPath.c_str());
  int code = 0;
  zip_t* archive = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (archive == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    CResult r = CResult::Error(5, zipPath + ": " + zip_error_strerror(&error));
    zip_error_fini(&error);
    return r;
  }
  zip_source_t* source = zip_source_file(archive, sourcePath.c_str(), 0, -1);
  if (source == nullptr) {
    CResult r = ZipError(archive, sourcePath);
    zip_discard(archive);
    return r;
  }
  // Raw name bytes, as the client compares them.
  const zip_int64_t index =
      zip_file_add(archive, memberName.c_str(), source, ZIP_FL_ENC_RAW | ZIP_FL_OVERWRITE);
  if (index < 0) {
    CResult r = ZipError(archive, memberName);
    zip_source_free(source);
    zip_discard(archive);
    return r;
  }
  const zip_uint64_t i = static_cast<zip_uint64_t>(index);
  if (zip_set_file_compression(archive, i, ZIP_CM_DEFLATE, 9) != 0 ||
      zip_file_set_mtime(archive, i, kFixedTime, 0) != 0 ||
      zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX, kFileAttributes) != 0) {
    CResult r = ZipError(archive, memberName);
    zip_discard(archive);
    return r;
  }
  if (zip_close(archive) != 0) {
    CResult r = ZipError(archive, zipPath);
    zip_discard(archive);
    std::remove(zipPath.c_str());
    return r;
  }
  return CResult::Ok();
}
