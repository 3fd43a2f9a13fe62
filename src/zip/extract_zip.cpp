// Unpacking a whole-file entry in place. Not built yet: every extraction fails.

#include "run/patch_run.h"

bool CPatchRun::ExtractZipInPlace(std::string path, std::string /*entryName*/) {
  m_platform.trace->Line(path + ": zip extraction is not built yet.");
  return false;
}
