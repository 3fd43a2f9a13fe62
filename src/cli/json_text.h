#pragma once

// A JSON string literal for a byte string: quotes, backslashes and control characters are
// escaped; valid UTF-8 passes through; any other byte becomes \u00XX (read as Latin-1),
// so the output is always valid JSON whatever code page a name was written in.

#include <string>

std::string JsonString(const std::string& bytes);
