#include "apply/apply_paths.h"

#include <cstdio>

#include "package/package_format.h"
#include "platform/path.h"
#include "run/patch_run.h"

std::string TemporaryName(const std::string& name) {
  return FolderPart(name) + kTempPrefix + FileNamePart(name);
}

std::string TargetPath(const std::string& name) { return g_installFolder + name; }

std::string TemporaryPath(const std::string& name) { return g_installFolder + TemporaryName(name); }

std::string PatchStatusText(const std::string& name) {
  char text[kStatusTextBuffer];
  const int n = std::snprintf(text, sizeof text, "Patch %s ", name.c_str());
  if (n < 0) return "Patch ";
  // snprintf stops at the buffer's end; n is the length it wanted.
  return std::string(
      text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
}
