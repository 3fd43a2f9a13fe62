#include "run/install_folder.h"

#include <cstring>

#include "platform/path.h"
#include "run/patch_run.h"

namespace {

constexpr uint16_t kLangChineseSimplified = 2052;  // 0x0804
constexpr CInstallLocation kChineseLocation = {"SOFTWARE\\vosk\\moonrail", "Loader"};
constexpr CInstallLocation kDefaultLocation = {"SOFTWARE\\KELDA\\Moonrail", "Destination"};

// The value buffer starts out holding this marker; when it still does after the query,
// no value was found.
const char kNoValueMarker[] = "empty";
constexpr uint32_t kValueBufferSize = 1024;

const char kBrowserTitle[] = "Select Directory";

void FillWithMarker(char (&buffer)[kValueBufferSize]) {
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(buffer, kNoValueMarker, sizeof kNoValueMarker - 1);
}

}  // namespace

CInstallLocation InstallLocationFor(uint16_t langId) {
  return langId == kLangChineseSimplified ? kChineseLocation : kDefaultLocation;
}

std::string FolderOfRegistryValue(const std::string& value) {
  const size_t driveLength = value.size() >= 2 && value[1] == ':' ? 2 : 0;
  size_t end = driveLength;  // just after the last separator that follows the drive
  for (size_t i = value.size(); i > driveLength; --i) {
    if (IsPathSeparator(value[i - 1])) {
      end = i;
      break;
    }
  }
  return value.substr(0, end);
}

std::string FolderOfChosenPath(const std::string& chosen) {
  if (chosen.empty()) return std::string();
  return chosen + '\\';
}

void LookupInstallFolder(const CPlatform& platform, WindowHandle owner) {
  g_installFolder.clear();

  char buffer[kValueBufferSize];
  FillWithMarker(buffer);
  const CInstallLocation location = InstallLocationFor(platform.settings->SystemDefaultLangId());
  if (!platform.settings->ReadMachineString(location.key, location.valueName, buffer,
                                            sizeof buffer)) {
    // Nothing was read, but a query that failed part-way may have left bytes behind.
    FillWithMarker(buffer);
  }

  const void* nul = std::memchr(buffer, '\0', sizeof buffer);
  if (nul == nullptr) {
    // A value that fills the whole buffer cannot be a path (paths are far shorter) and
    // has no end to split at.
    platform.trace->Line(std::string("The install location in ") + location.key +
                         " is too long to be a folder; asking for the folder instead.");
    FillWithMarker(buffer);
  }
  const std::string value(buffer);

  if (value != kNoValueMarker) {
    g_installFolder = FolderOfRegistryValue(value);
    return;
  }
  g_installFolder = FolderOfChosenPath(platform.ui->ChooseFolder(owner, kBrowserTitle));
}
