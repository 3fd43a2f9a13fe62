// The apply stage. Not built yet: a run that reaches it fails and says so.

#include "run/patch_run.h"

bool CPatchRun::ApplyPatch(std::vector<std::string> /*names*/) {
  m_platform.trace->Line("The apply stage is not built yet: nothing was written.");
  m_pEntryStream.reset();
  m_pDataStream.reset();
  return false;
}
