#pragma once

// Pure text operations on paths. Both '\' and '/' separate folders, on every platform,
// because package names and install folders may use either.

#include <string>

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Position just after the last separator of `path` (0 when there is none).
size_t FileNameStart(const std::string& path);

// "data\x.pkg" -> "data\" ; "x.pkg" -> "".
std::string FolderPart(const std::string& path);

// "data\x.pkg" -> "x.pkg".
std::string FileNamePart(const std::string& path);

// The extension of the file-name part: from its last '.' to the end, the dot included;
// empty when the file-name part has no dot.
std::string ExtensionOf(const std::string& path);
