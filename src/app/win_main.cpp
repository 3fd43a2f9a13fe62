// MRManualPatch.exe: the program entry. The command line and show command are ignored.

#include <windows.h>

#include "app/mr_client_startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  return CMRClientStartup::GetInstance().Run(instance);
}
