#include "platform/path.h"

size_t FileNameStart(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i;
  }
  // A drive prefix ("C:name") also ends the folder part.
  if (path.size() >= 2 && path[1] == ':') return 2;
  return 0;
}

std::string FolderPart(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string FileNamePart(const std::string& path) { return path.substr(FileNameStart(path)); }

std::string ExtensionOf(const std::string& path) {
  const size_t start = FileNameStart(path);
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return std::string();
  return path.substr(dot);
}
