// Threads, settings (the registry) and package sources on Windows.

#include <windows.h>

#include "package/embedded_package.h"
#include "platform/platform.h"
#include "platform/win32/win32_handle.h"

namespace {

class Win32Thread : public CThread {
 public:
  explicit Win32Thread(CHandle handle) : m_handle(std::move(handle)) {}
  void Join() override {
    if (m_handle.Valid()) WaitForSingleObject(m_handle.Get(), INFINITE);
  }

 private:
  CHandle m_handle;
};

struct ThreadStart {
  CThreads::Routine routine;
  void* param;
};

DWORD WINAPI ThreadMain(LPVOID arg) {
  ThreadStart start = *static_cast<ThreadStart*>(arg);
  delete static_cast<ThreadStart*>(arg);
  return start.routine(start.param);
}

class Win32Threads : public CThreads {
 public:
  std::unique_ptr<CThread> Start(Routine routine, void* param) override {
    auto* start = new ThreadStart{routine, param};
    HANDLE h = CreateThread(nullptr, 0, &ThreadMain, start, 0, nullptr);
    if (h == nullptr) {
      delete start;
      return nullptr;
    }
    return std::make_unique<Win32Thread>(CHandle(h));
  }
};

class Win32Settings : public CSettings {
 public:
  bool ReadMachineString(const std::string& key, const std::string& valueName, char* buffer,
                         uint32_t size) override {
    // The client's installer is a 32-bit program: its values live in the 32-bit view.
    HKEY hkey = nullptr;
    DWORD disposition = 0;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                             &hkey, &disposition);
    if (r != ERROR_SUCCESS) {
      // A standard user may not open the key with full access, but may read it.
      r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                        &hkey);
      if (r != ERROR_SUCCESS) return false;
    }
    DWORD length = size;
    r = RegQueryValueExA(hkey, valueName.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer), &length);
    RegCloseKey(hkey);
    if (r != ERROR_SUCCESS) return false;
    // A string value may be stored without its terminator: end it where the value ends,
    // so that no earlier buffer content shows through. A value that fills the buffer
    // stays unterminated for the caller to see.
    if (length < size && (length == 0 || buffer[length - 1] != '\0')) buffer[length] = '\0';
    return true;
  }

  uint16_t SystemDefaultLangId() override { return GetSystemDefaultLangID(); }
};

// The package as resource "DAT" 136 of the running executable.
class ResourcePackageSource : public CPackageSource {
 public:
  EFind Load(const uint8_t** data, uint64_t* size) override {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kPackageResourceId),
                                   kPackageResourceType);
    if (resource == nullptr) return EFind::kMissing;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    if (loaded == nullptr) return EFind::kNotLoadable;
    *size = SizeofResource(nullptr, resource);
    *data = static_cast<const uint8_t*>(LockResource(loaded));
    return EFind::kLoaded;
  }
  std::string Describe() const override { return "resource DAT 136"; }
};

// A package file, mapped read-only.
class FileMappingPackageSource : public CPackageSource {
 public:
  explicit FileMappingPackageSource(std::string path) : m_path(std::move(path)) {}
  ~FileMappingPackageSource() override {
    if (m_view != nullptr) UnmapViewOfFile(m_view);
  }

  EFind Load(const uint8_t** data, uint64_t* size) override {
    if (!m_tried) Map();
    if (m_result == EFind::kLoaded) {
      *data = m_data;
      *size = m_size;
    }
    return m_result;
  }
  std::string Describe() const override { return m_path; }

 private:
  void Map() {
    m_tried = true;
    CHandle file(CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.Get(), &length)) return;
    m_result = EFind::kNotLoadable;
    if (length.QuadPart == 0) {
      static const uint8_t kNothing = 0;
      m_data = &kNothing;
      m_size = 0;
      m_result = EFind::kLoaded;
      return;
    }
    CHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid()) return;
    m_view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (m_view == nullptr) return;
    m_data = static_cast<const uint8_t*>(m_view);
    m_size = static_cast<uint64_t>(length.QuadPart);
    m_result = EFind::kLoaded;
  }

  std::string m_path;
  bool m_tried = false;
  EFind m_result = EFind::kMissing;
  void* m_view = nullptr;
  const uint8_t* m_data = nullptr;
  uint64_t m_size = 0;
};

}  // namespace

CSettings* DefaultSettings() {
  static Win32Settings settings;
  return &settings;
}

CThreads* DefaultThreads() {
  static Win32Threads threads;
  return &threads;
}

std::unique_ptr<CPackageSource> NewEmbeddedPackageSource() {
  return std::make_unique<ResourcePackageSource>();
}

std::unique_ptr<CPackageSource> NewFilePackageSource(const std::string& path) {
  return std::make_unique<FileMappingPackageSource>(path);
}
