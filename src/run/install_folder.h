#pragma once

// Finding the game's install folder: the registry value named by the system's default
// language, or else the user's choice in a folder browser. Runs on the worker thread.

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Where the client's installer records its location, under the machine-wide hive.
struct CInstallLocation {
  const char* key;
  const char* valueName;
};

// The location for a system default language identifier: 2052 (Chinese as used in the
// People's Republic of China) has its own; every other identifier, other Chinese
// variants included, shares the second.
CInstallLocation InstallLocationFor(uint16_t langId);

// The install folder named by a registry value, which names a file in that folder: the
// drive ("X:" when the second character is a colon) followed by everything up to and
// including the last '\' or '/'. The file name is dropped and no separator is added, so
// a value without a drive or a folder part gives an empty text.
std::string FolderOfRegistryValue(const std::string& value);

// The install folder for a folder the user chose: the path and one backslash, appended
// whatever the path ends with. An empty choice (a cancel) stays empty.
std::string FolderOfChosenPath(const std::string& chosen);

// Sets g_installFolder (see run/patch_run.h): from the registry value when there is one,
// else from the folder browser owned by `owner`. Leaves it empty when no folder is known.
void LookupInstallFolder(const CPlatform& platform, WindowHandle owner);
