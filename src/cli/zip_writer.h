#pragma once

// The zip archive that carries a whole-file entry: one member, deflated, stored under the
// entry's name. Written with libzip; the member's time stamp and attributes are fixed so
// that the same file always gives the same archive bytes.

#include <string>

#include "platform/platform.h"

CResult WriteSingleMemberZip(const std::string& sourcePath, const std::string& memberName,
                             const std::string& zipPath);
