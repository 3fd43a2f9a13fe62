#pragma once

#include <string>

#include "platform/platform.h"

// The one conversion from errno to a result: "<context>: <system message>".
CResult PosixError(const std::string& context, int err);
