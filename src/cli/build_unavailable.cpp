// mrpatch build on a platform without the package builder.

#include "cli/commands.h"

int RunBuild(const CArgs&) {
  return Failure("build: the package builder is not available in this build; run it on Linux");
}
