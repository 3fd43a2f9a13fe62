#pragma once

// Resource numbers of MRManualPatch.exe, shared by the program and resources/*.rc (the
// resource compiler reads this file through the C preprocessor, hence macros).

#define IDB_QUIT_BUTTON 129  // face of the Quit button: 16 x 14, 8 bits with a palette
#define IDB_SKIN 130         // window skin: 366 x 426, upper half empty bar, lower half full
#define IDI_PROGRAM 133      // window class icon, 64 x 64
// The package is resource type "DAT", identifier 136 (package/embedded_package.h).
