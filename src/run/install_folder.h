#pragma once

// Finding the game's install folder: the registry value named by the system's default
// language, or else the user's choice in a folder browser.

#include <string>

#include "platform/platform.h"

// Sets g_installFolder (see run/patch_run.h); leaves it empty when no folder is known.
void LookupInstallFolder(const CPlatform& platform, WindowHandle owner);
