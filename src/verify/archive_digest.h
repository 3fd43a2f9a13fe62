#pragma once

// The archive index digest: the MD5 of a local ".pkg" archive's index (not of the whole
// archive), as 32 lower-case hexadecimal digits.

#include <string>

#include "platform/platform.h"

// Digest of g_installFolder + `name`. When the file cannot be opened, writes the trace
// line "LocalFile: <path> is not exist!!" and returns an empty text.
std::string GetArchiveDigest(CFileSystem& files, CTrace& trace, std::string name);
