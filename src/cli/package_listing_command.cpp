// mrpatch inspect: validates a package as the client does before a run, and lists its
// entries, as text or as JSON.

#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/json_text.h"
#include "package/package_check.h"
#include "package/package_format.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kInspectUsage[] =
    "usage: mrpatch inspect [--json] FILE\n"
    "\n"
    "Validates a package and lists its entries: index, kind, data size, package and local\n"
    "block counts, new file size, digests and name. An invalid package prints the broken\n"
    "rule and exits with 1.\n"
    "  --json   print one JSON object instead of the table\n";

// How the client will treat the entry (by the same tests it applies).
const char* EntryKind(const CPackageEntryInfo& e) {
  if (ExtensionOf(e.name) == kArchiveExtension) return e.blockCount > 1 ? "archive" : "plain";
  return "whole-file";
}

void PrintText(const std::string& path, uint64_t size, const CPackageCheck& check) {
  std::cout << path << ": " << check.entries.size() << " entries, " << size << " bytes\n";
  for (size_t i = 0; i < check.entries.size(); ++i) {
    const CPackageEntryInfo& e = check.entries[i];
    std::cout << i << "  " << e.name << "\n"
              << "    kind " << EntryKind(e) << ", data " << e.dataSize << " bytes, blocks "
              << e.packageBlocks << " package + " << e.localBlocks << " local, new size "
              << e.newFileSize << "\n"
              << "    old digest " << (e.oldDigest.empty() ? "-" : e.oldDigest) << "  new digest "
              << (e.newDigest.empty() ? "-" : e.newDigest) << "\n";
  }
}

void PrintJson(const std::string& path, uint64_t size, const CPackageCheck& check) {
  std::cout << "{\"package\": " << JsonString(path) << ", \"size\": " << size
            << ", \"valid\": " << (check.ok ? "true" : "false");
  if (!check.ok) {
    std::cout << ", \"error\": {\"entry\": ";
    if (check.entryIndex == CPackageCheck::kNoEntry) {
      std::cout << "null";
    } else {
      std::cout << check.entryIndex;
    }
    std::cout << ", \"name\": " << JsonString(check.entryName)
              << ", \"rule\": " << JsonString(check.rule) << "}}\n";
    return;
  }
  std::cout << ", \"entryCount\": " << check.entryCount << ", \"entries\": [";
  for (size_t i = 0; i < check.entries.size(); ++i) {
    const CPackageEntryInfo& e = check.entries[i];
    std::cout << (i == 0 ? "\n" : ",\n") << "  {\"index\": " << i
              << ", \"name\": " << JsonString(e.name) << ", \"kind\": \"" << EntryKind(e)
              << "\", \"dataSize\": " << e.dataSize << ", \"blockCount\": " << e.blockCount
              << ", \"packageBlocks\": " << e.packageBlocks
              << ", \"localBlocks\": " << e.localBlocks << ", \"newFileSize\": " << e.newFileSize
              << ", \"oldDigest\": " << JsonString(e.oldDigest)
              << ", \"newDigest\": " << JsonString(e.newDigest) << "}";
  }
  std::cout << (check.entries.empty() ? "]}\n" : "\n]}\n");
}

}  // namespace

int RunInspect(const CArgs& args) {
  std::string path;
  bool json = false;
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      std::cout << kInspectUsage;
      return kExitOk;
    }
    if (a == "--json") {
      json = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("inspect", "inspect: unknown option '" + a + "'");
    } else if (!path.empty()) {
      return UsageError("inspect", "inspect: more than one package given");
    } else {
      path = a;
    }
  }
  if (path.empty()) return UsageError("inspect", "inspect: no package given");

  std::unique_ptr<CPackageSource> source = NewFilePackageSource(path);
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  if (source->Load(&data, &size) != CPackageSource::EFind::kLoaded || data == nullptr) {
    return Failure(path + ": cannot open the package");
  }
  const CPackageCheck check = ValidatePackage(data, size);
  if (json) {
    PrintJson(path, size, check);
  } else if (check.ok) {
    PrintText(path, size, check);
  }
  if (!check.ok) return Failure(path + ": " + check.Describe());
  return kExitOk;
}
