#include <windows.h>

#include <memory>
#include <vector>

#include "cli/embed.h"
#include "package/embedded_package.h"

namespace {

// The language the package resource is stored under.
constexpr WORD kPackageLanguage = 1042;

CResult LastError(const std::string& what) {
  const DWORD code = GetLastError();
  return CResult::Error(static_cast<int>(code), what + " (error " + std::to_string(code) + ")");
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

// Languages under which `path` already carries a package resource.
std::vector<WORD> PackageLanguages(const std::string& path) {
  std::vector<WORD> languages;
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return languages;
  EnumResourceLanguagesA(module, kPackageResourceType, MAKEINTRESOURCEA(kPackageResourceId),
                         &CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
  FreeLibrary(module);
  return languages;
}

// An open resource update: discarded unless committed.
class CResourceUpdate {
 public:
  explicit CResourceUpdate(const std::string& path)
      : m_handle(BeginUpdateResourceA(path.c_str(), FALSE)) {}
  ~CResourceUpdate() {
    if (m_handle != nullptr) EndUpdateResourceA(m_handle, TRUE);
  }
  CResourceUpdate(const CResourceUpdate&) = delete;
  CResourceUpdate& operator=(const CResourceUpdate&) = delete;

  HANDLE get() const { return m_handle; }
  bool Commit() {
    HANDLE h = m_handle;
    m_handle = nullptr;
    return EndUpdateResourceA(h, FALSE) != FALSE;
  }

 private:
  HANDLE m_handle;
};

CResult WriteResource(const std::string& path, const uint8_t* data, uint64_t size) {
  const std::vector<WORD> existing = PackageLanguages(path);
  CResourceUpdate update(path);
  if (update.get() == nullptr) return LastError(path + ": cannot update its resources");
  for (WORD language : existing) {
    if (!UpdateResourceA(update.get(), kPackageResourceType, MAKEINTRESOURCEA(kPackageResourceId),
                         language, nullptr, 0)) {
      return LastError(path + ": cannot remove the package it carries");
    }
  }
  if (!UpdateResourceA(update.get(), kPackageResourceType, MAKEINTRESOURCEA(kPackageResourceId),
                       kPackageLanguage, const_cast<uint8_t*>(data), static_cast<DWORD>(size))) {
    return LastError(path + ": cannot add the package resource");
  }
  if (!update.Commit()) return LastError(path + ": cannot write its resources");
  return CResult::Ok();
}

}  // namespace

std::string DefaultEmbedProgram() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  std::string self(buffer, n);
  const size_t slash = self.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) +
         "MRManualPatch.exe";
}

CResult EmbedPackage(const std::string& program, const std::string& packagePath,
                     const std::string& output) {
  std::unique_ptr<CPackageSource> package = NewFilePackageSource(packagePath);
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  if (package->Load(&data, &size) != CPackageSource::EFind::kLoaded || data == nullptr) {
    return CResult::Error(2, packagePath + ": cannot open the package");
  }
  CFileSystem& files = *DefaultFileSystem();
  const std::string temporary = output + ".partial";
  if (!CopyFileA(program.c_str(), temporary.c_str(), FALSE)) {
    return LastError(program + ": cannot copy it to " + temporary);
  }
  CResult r = WriteResource(temporary, data, size);
  if (r.ok()) r = files.Replace(temporary, output);
  if (!r.ok()) files.Delete(temporary);
  return r;
}
