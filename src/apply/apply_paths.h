#pragma once

// Paths and texts of the apply stage for one entry name (a path relative to the install
// folder, with '\' or '/' between folders).

#include <cstddef>
#include <string>

// Bytes moved per write when a block is copied from memory: big enough that the system
// call cost vanishes, small enough that no write grows with a block's size.
constexpr size_t kCopyChunk = 4u << 20;

// The status text buffer holds this many bytes, terminator included.
constexpr size_t kStatusTextBuffer = 1024;

// "data\x.pkg" -> "data\.temp_x.pkg": the temporary file lies beside its target, so that
// it sits in a folder that exists and can be renamed over the target in one step.
std::string TemporaryName(const std::string& name);

// g_installFolder + name.
std::string TargetPath(const std::string& name);
// g_installFolder + TemporaryName(name).
std::string TemporaryPath(const std::string& name);

// "Patch " + name + " ", cut to kStatusTextBuffer - 1 characters for very long names.
std::string PatchStatusText(const std::string& name);
