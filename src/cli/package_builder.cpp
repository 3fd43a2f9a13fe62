#include "cli/package_builder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "cli/folder_list.h"
#include "cli/package_writer.h"
#include "cli/zip_writer.h"
#include "package/package_check.h"
#include "package/package_format.h"
#include "platform/path.h"

namespace {

struct CPlannedEntry {
  std::string relative;  // with '/', for local paths
  std::string name;      // with '\', as the package records it
  bool hasOld = false;
  bool isArchive = false;
};

std::string Join(const std::string& folder, const std::string& relative) {
  if (folder.empty() || IsPathSeparator(folder.back())) return folder + relative;
  return folder + "/" + relative;
}

std::string PackageName(const std::string& relative) {
  std::string name = relative;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

std::string FoldCase(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

CResult Prefixed(const std::string& prefix, const CResult& r) {
  return CResult::Error(r.code(), prefix + ": " + r.message());
}

// Whether two files hold the same bytes, read through bounded buffers.
CResult SameContent(CFileSystem& files, const std::string& a, const std::string& b, bool* same) {
  std::unique_ptr<CReadableFile> fa;
  std::unique_ptr<CReadableFile> fb;
  CResult r = files.OpenRead(a, &fa);
  if (!r.ok()) return r;
  r = files.OpenRead(b, &fb);
  if (!r.ok()) return r;
  const int64_t size = fa->Size();
  if (size < 0 || fb->Size() < 0) return CResult::Error(5, a + ": cannot tell its size");
  *same = size == fb->Size();
  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> ba(kChunk);
  std::vector<uint8_t> bb(kChunk);
  for (uint64_t at = 0; *same && at < static_cast<uint64_t>(size); at += kChunk) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(kChunk, static_cast<uint64_t>(size) - at));
    if (fa->ReadAt(at, ba.data(), want) != static_cast<int64_t>(want)) {
      return CResult::Error(5, a + ": read error");
    }
    if (fb->ReadAt(at, bb.data(), want) != static_cast<int64_t>(want)) {
      return CResult::Error(5, b + ": read error");
    }
    *same = std::memcmp(ba.data(), bb.data(), want) == 0;
  }
  return CResult::Ok();
}

CResult Plan(CFileSystem& files, const CBuildOptions& options, std::vector<CPlannedEntry>* plan,
             CBuildReport* report) {
  std::vector<std::string> oldFiles;
  std::vector<std::string> newFiles;
  std::string error;
  if (!ListFolderFiles(options.oldFolder, &oldFiles, &error)) return CResult::Error(2, error);
  if (!ListFolderFiles(options.newFolder, &newFiles, &error)) return CResult::Error(2, error);

  std::map<std::string, std::string> folded;  // case-folded name -> name
  for (const std::string& relative : newFiles) {
    CPlannedEntry e;
    e.relative = relative;
    e.name = PackageName(relative);
    std::string why;
    if (e.name.size() >= kNameSize)
      return CResult::Error(22, e.name + ": name is longer than 1023 bytes");
    if (!IsSafeEntryName(e.name, &why)) return CResult::Error(22, e.name + ": " + why);
    auto clash = folded.emplace(FoldCase(e.name), e.name);
    if (!clash.second) {
      return CResult::Error(22, e.name + ": differs from " + clash.first->second +
                                    " only in letter case, which the client cannot tell apart");
    }
    e.hasOld = std::binary_search(oldFiles.begin(), oldFiles.end(), relative);
    e.isArchive = ExtensionOf(e.name) == kArchiveExtension;
    if (e.hasOld) {
      bool same = false;
      CResult r = SameContent(files, Join(options.oldFolder, relative),
                              Join(options.newFolder, relative), &same);
      if (!r.ok()) return r;
      if (same) {
        ++report->unchanged;
        continue;
      }
    }
    plan->push_back(std::move(e));
  }
  for (const std::string& relative : oldFiles) {
    if (!std::binary_search(newFiles.begin(), newFiles.end(), relative)) {
      report->oldOnly.push_back(PackageName(relative));
    }
  }
  return CResult::Ok();
}

class CEntryBuilder {
 public:
  CEntryBuilder(CFileSystem& files, CBuildDigests& digests, const CBuildOptions& options,
                CPackageWriter& writer, const std::string& scratchZip, CBuildReport* report)
      : m_files(files),
        m_digests(digests),
        m_options(options),
        m_writer(writer),
        m_scratchZip(scratchZip),
        m_report(report) {}

  CResult Build(const CPlannedEntry& e) {
    const std::string newPath = Join(m_options.newFolder, e.relative);
    CBuiltEntry built;
    built.name = e.name;
    CPackageEntrySpec spec;
    spec.name = e.name;
    std::unique_ptr<CReadableFile> source;
    CResult r;
    if (e.isArchive) {
      r = m_files.OpenRead(newPath, &source);
      if (!r.ok()) return r;
      spec.newDigest = m_digests.ArchiveDigest(newPath);
      if (spec.newDigest.empty())
        return CResult::Error(5, newPath + ": cannot take its index digest");
      if (e.hasOld) {
        r = DeltaBlocks(e, *source, &spec, &built);
      } else {
        built.kind = CBuiltEntry::EKind::kNewArchive;
        r = WholeArchiveBlocks(*source, &spec.blocks);
      }
      if (!r.ok()) return r;
    } else {
      built.kind = CBuiltEntry::EKind::kWholeFile;
      spec.oldDigest = m_digests.ContentDigest(newPath);
      if (spec.oldDigest.empty()) return CResult::Error(5, newPath + ": cannot take its MD5");
      r = WriteSingleMemberZip(newPath, e.name, m_scratchZip);
      if (!r.ok()) return r;
      r = m_files.OpenRead(m_scratchZip, &source);
      if (!r.ok()) return r;
      const int64_t zipSize = source->Size();
      if (zipSize < 0 || static_cast<uint64_t>(zipSize) > 0xFFFFFFFFull) {
        return CResult::Error(27, newPath + ": its zip archive is too large for one block");
      }
      spec.blocks.push_back(CDeltaBlock{true, 0, static_cast<uint32_t>(zipSize)});
    }
    built.blockCount = spec.blocks.size();
    for (const CDeltaBlock& b : spec.blocks) {
      if (b.fromPackage) built.dataSize += b.size;
      if (!e.isArchive) continue;
      built.newFileSize += b.size;
    }
    if (!e.isArchive) {
      std::unique_ptr<CReadableFile> newFile;
      if (m_files.OpenRead(newPath, &newFile).ok())
        built.newFileSize = static_cast<uint64_t>(newFile->Size());
    }
    r = m_writer.Add(spec, *source);
    source.reset();
    if (!e.isArchive) m_files.Delete(m_scratchZip);
    if (!r.ok()) return r;
    m_report->entries.push_back(built);
    return CResult::Ok();
  }

 private:
  CResult DeltaBlocks(const CPlannedEntry& e, CReadableFile& newFile, CPackageEntrySpec* spec,
                      CBuiltEntry* built) {
    const std::string oldPath = Join(m_options.oldFolder, e.relative);
    built->kind = CBuiltEntry::EKind::kArchiveDelta;
    spec->oldDigest = m_digests.ArchiveDigest(oldPath);
    if (spec->oldDigest.empty())
      return CResult::Error(5, oldPath + ": cannot take its index digest");
    if (spec->oldDigest == spec->newDigest) {
      m_report->warnings.push_back(
          e.name +
          ": the old and new archives differ but have the same index digest, so the "
          "client cannot tell the patched archive from the old one");
    }
    std::unique_ptr<CReadableFile> oldFile;
    CResult r = m_files.OpenRead(oldPath, &oldFile);
    if (!r.ok()) return r;
    CDeltaStats stats;
    r = EncodeDelta(*oldFile, newFile, m_options.delta, &spec->blocks, &stats);
    if (!r.ok()) return Prefixed(e.name, r);
    built->copiedBytes = stats.copiedBytes;
    return CResult::Ok();
  }

  // Header block, then the rest of the archive in package blocks of bounded size.
  CResult WholeArchiveBlocks(CReadableFile& newFile, std::vector<CDeltaBlock>* blocks) {
    const int64_t size = newFile.Size();
    if (size < 0) return CResult::Error(5, "cannot tell the size of a new archive");
    const uint64_t total = static_cast<uint64_t>(size);
    const uint64_t header = std::min<uint64_t>(m_options.delta.headerSize, total);
    blocks->push_back(CDeltaBlock{true, 0, static_cast<uint32_t>(header)});
    for (uint64_t at = header; at < total;) {
      const uint32_t n =
          static_cast<uint32_t>(std::min<uint64_t>(total - at, m_options.delta.maxBlockSize));
      blocks->push_back(CDeltaBlock{true, at, n});
      at += n;
    }
    // Two blocks at least, or the client would take it for a plain file.
    if (blocks->size() < 2) blocks->push_back(CDeltaBlock{false, 0, 0});
    return CResult::Ok();
  }

  CFileSystem& m_files;
  CBuildDigests& m_digests;
  const CBuildOptions& m_options;
  CPackageWriter& m_writer;
  std::string m_scratchZip;
  CBuildReport* m_report;
};

// Maps the written package and runs the same validation the client runs before use.
CResult ValidateWritten(const std::string& path) {
  std::unique_ptr<CPackageSource> source = NewFilePackageSource(path);
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  if (source->Load(&data, &size) != CPackageSource::EFind::kLoaded || data == nullptr) {
    return CResult::Error(5, path + ": cannot read the written package back");
  }
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) return CResult::Error(22, path + ": " + check.Describe());
  return CResult::Ok();
}

}  // namespace

const char* KindName(CBuiltEntry::EKind kind) {
  switch (kind) {
    case CBuiltEntry::EKind::kArchiveDelta:
      return "archive delta";
    case CBuiltEntry::EKind::kNewArchive:
      return "new archive";
    case CBuiltEntry::EKind::kWholeFile:
      return "whole file";
  }
  return "?";
}

CResult BuildPackage(CFileSystem& files, CBuildDigests& digests, const CBuildOptions& options,
                     CBuildReport* report) {
  *report = CBuildReport();
  std::vector<CPlannedEntry> plan;
  CResult r = Plan(files, options, &plan, report);
  if (!r.ok()) return r;

  const std::string temporary = options.output + ".partial";
  const std::string scratchZip = options.output + ".member.zip";
  CPackageWriter writer(files);
  r = writer.Open(temporary, static_cast<uint32_t>(plan.size()));
  CEntryBuilder builder(files, digests, options, writer, scratchZip, report);
  for (size_t i = 0; r.ok() && i < plan.size(); ++i) r = builder.Build(plan[i]);
  if (r.ok()) {
    r = writer.Close();
  } else {
    writer.Close();
  }
  if (r.ok()) r = ValidateWritten(temporary);
  if (r.ok()) r = files.Replace(temporary, options.output);
  if (!r.ok()) {
    files.Delete(temporary);
    files.Delete(scratchZip);
    return r;
  }
  report->packageSize = writer.size();
  return CResult::Ok();
}
