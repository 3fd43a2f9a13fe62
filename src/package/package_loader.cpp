// CPatchRun::LoadPackage: finds the package, checks its whole structure and opens the two
// cursors over it in place.

#include "package/package_check.h"
#include "run/patch_run.h"

bool CPatchRun::LoadPackage() {
  CTrace& trace = *m_platform.trace;
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  switch (m_platform.package->Load(&data, &size)) {
    case CPackageSource::EFind::kMissing:
      trace.Line("No patch package found (" + m_platform.package->Describe() + ").");
      return false;
    case CPackageSource::EFind::kNotLoadable:
      trace.Line("The patch package cannot be loaded (" + m_platform.package->Describe() +
                 ").");
      return false;
    case CPackageSource::EFind::kLoaded:
      break;
  }

  m_status.SetText("Creating PatchData....");
  if (data == nullptr) {
    trace.Line("The patch package cannot be read (" + m_platform.package->Describe() + ").");
    return false;
  }

  // Every later walk trusts the package's offsets; check them all before any is used.
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) {
    trace.Line(check.Describe());
    return false;
  }

  m_pEntryStream = std::make_unique<CMemoryInputStream>(data, size);
  m_pDataStream = std::make_unique<CMemoryInputStream>(data, size);
  m_pPackage = data;
  m_packageSize = static_cast<uint32_t>(size);
  return true;
}
