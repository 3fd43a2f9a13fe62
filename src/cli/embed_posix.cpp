#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "cli/embed.h"
#include "package/embedded_package.h"

namespace {

CResult CopyRange(CWritableFile& out, CReadableFile& in, uint64_t offset, uint64_t size,
                  const std::string& what) {
  uint64_t copied = 0;
  CResult r = out.AppendFrom(in, offset, size, &copied);
  if (!r.ok()) return CResult::Error(r.code(), what + ": " + r.message());
  if (copied != size) return CResult::Error(5, what + ": file ended early");
  return CResult::Ok();
}

// Size of `program` without a package it may already carry.
CResult ProgramSize(CReadableFile& program, const std::string& path, uint64_t* size) {
  const int64_t fileSize = program.Size();
  if (fileSize < 0) return CResult::Error(5, path + ": cannot tell its size");
  *size = static_cast<uint64_t>(fileSize);
  uint8_t trailer[kEmbeddedTrailerSize];
  if (*size < sizeof trailer) return CResult::Ok();
  if (program.ReadAt(*size - sizeof trailer, trailer, sizeof trailer) !=
      static_cast<int64_t>(sizeof trailer)) {
    return CResult::Error(5, path + ": read error");
  }
  uint64_t packageOffset = 0;
  uint64_t packageSize = 0;
  if (DecodeEmbeddedTrailer(trailer, *size, &packageOffset, &packageSize)) *size = packageOffset;
  return CResult::Ok();
}

CResult Write(CFileSystem& files, const std::string& program, const std::string& packagePath,
              const std::string& temporary) {
  std::unique_ptr<CReadableFile> exe;
  std::unique_ptr<CReadableFile> package;
  CResult r = files.OpenRead(program, &exe);
  if (!r.ok()) return r;
  r = files.OpenRead(packagePath, &package);
  if (!r.ok()) return r;
  uint64_t exeSize = 0;
  r = ProgramSize(*exe, program, &exeSize);
  if (!r.ok()) return r;
  const int64_t packageSize = package->Size();
  if (packageSize < 0) return CResult::Error(5, packagePath + ": cannot tell its size");

  std::unique_ptr<CWritableFile> out;
  r = files.OpenWrite(temporary, &out);
  if (!r.ok()) return r;
  r = CopyRange(*out, *exe, 0, exeSize, program);
  if (r.ok()) r = CopyRange(*out, *package, 0, static_cast<uint64_t>(packageSize), packagePath);
  uint8_t trailer[kEmbeddedTrailerSize];
  EncodeEmbeddedTrailer(trailer, static_cast<uint64_t>(packageSize));
  if (r.ok()) r = out->Append(trailer, sizeof trailer);
  if (r.ok()) r = out->Sync();
  CResult c = out->Close();
  if (!r.ok()) return r;
  return c;
}

}  // namespace

std::string DefaultEmbedProgram() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

CResult EmbedPackage(const std::string& program, const std::string& packagePath,
                     const std::string& output) {
  CFileSystem& files = *DefaultFileSystem();
  const std::string temporary = output + ".partial";
  CResult r = Write(files, program, packagePath, temporary);
  if (r.ok() && chmod(temporary.c_str(), 0755) != 0) {
    r = CResult::Error(errno, temporary + ": cannot make it executable");
  }
  if (r.ok()) r = files.Replace(temporary, output);
  if (!r.ok()) files.Delete(temporary);
  return r;
}
