#include "verify/patch_file_list.h"

bool CPatchFileList::CompareLocalFiles(WindowHandle /*owner*/, const uint8_t* /*package*/,
                                       uint32_t /*size*/) {
  m_platform.trace->Line("The comparison with the installed files is not built yet.");
  return false;
}

void CPatchFileList::CopyNames(std::vector<std::string>& names) const {
  names.insert(names.end(), m_names.begin(), m_names.end());
}
