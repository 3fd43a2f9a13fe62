#include <windows.h>

#include <string>

#include "platform/path.h"
#include "platform/platform.h"
#include "platform/win32/win32_handle.h"

CResult WindowsError(const std::string& context, DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : "error " +
                                                                          std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return CResult::Error(static_cast<int>(error), context + ": " + message);
}

namespace {

class Win32ReadableFile : public CReadableFile {
 public:
  explicit Win32ReadableFile(CHandle handle) : m_handle(std::move(handle)) {}

  int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
      OVERLAPPED at = {};
      const uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      const DWORD want = static_cast<DWORD>(n - done > (1u << 30) ? (1u << 30) : n - done);
      DWORD got = 0;
      if (!ReadFile(m_handle.Get(), out + done, want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return -1;
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<int64_t>(done);
  }

  int64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_handle.Get(), &size)) return -1;
    return size.QuadPart;
  }

 private:
  CHandle m_handle;
};

class Win32WritableFile : public CWritableFile {
 public:
  Win32WritableFile(CHandle handle, std::string path)
      : m_handle(std::move(handle)), m_path(std::move(path)) {}

  CResult Append(const void* data, size_t n) override {
    if (!m_handle.Valid()) return CResult::Error(ERROR_INVALID_HANDLE, m_path + ": file is closed");
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      const DWORD want = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n);
      DWORD written = 0;
      if (!WriteFile(m_handle.Get(), p, want, &written, nullptr)) {
        return WindowsError(m_path, GetLastError());
      }
      if (written == 0) return WindowsError(m_path, ERROR_DISK_FULL);
      p += written;
      n -= written;
    }
    return CResult::Ok();
  }

  CResult Sync() override {
    if (!m_handle.Valid()) return CResult::Error(ERROR_INVALID_HANDLE, m_path + ": file is closed");
    if (!FlushFileBuffers(m_handle.Get())) return WindowsError(m_path, GetLastError());
    return CResult::Ok();
  }

  CResult Close() override {
    if (!m_handle.Valid()) return CResult::Error(ERROR_INVALID_HANDLE, m_path + ": file is closed");
    HANDLE h = m_handle.Release();
    if (!CloseHandle(h)) return WindowsError(m_path, GetLastError());
    return CResult::Ok();
  }

 private:
  CHandle m_handle;
  std::string m_path;
};

bool IsTransientSharingError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

class Win32FileSystem : public CFileSystem {
 public:
  CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) override {
    // Deny none: other programs may read and write the file while it is open.
    CHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return WindowsError(path, GetLastError());
    file->reset(new Win32ReadableFile(std::move(h)));
    return CResult::Ok();
  }

  CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) override {
    CHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) return WindowsError(path, GetLastError());
    file->reset(new Win32WritableFile(std::move(h), path));
    return CResult::Ok();
  }

  CResult Delete(const std::string& path) override {
    if (!DeleteFileA(path.c_str())) return WindowsError(path, GetLastError());
    return CResult::Ok();
  }

  CResult Replace(const std::string& from, const std::string& to) override {
    // Virus scanners, indexers and the game's own launcher hold files open for a moment:
    // a sharing failure is retried with a growing pause, about 1.5 s in all, before
    // the replacement counts as failed (the target then keeps its old content).
    constexpr int kAttempts = 6;
    DWORD error = 0;
    DWORD pause = 50;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (attempt > 0) {
        Sleep(pause);
        pause *= 2;
      }
      if (MoveFileExA(from.c_str(), to.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return CResult::Ok();
      }
      error = GetLastError();
      if (!IsTransientSharingError(error)) break;
    }
    return WindowsError(to, error);
  }

  CResult Move(const std::string& from, const std::string& to) override {
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED)) {
      return WindowsError(to, GetLastError());
    }
    return CResult::Ok();
  }

  CResult MakeFolders(const std::string& path) override {
    std::string p = path;
    while (!p.empty() && IsPathSeparator(p.back())) p.pop_back();
    if (p.empty() || (p.size() == 2 && p[1] == ':')) return CResult::Ok();
    const DWORD attributes = GetFileAttributesA(p.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) return CResult::Ok();
      return WindowsError(path, ERROR_DIRECTORY);
    }
    const std::string parent = FolderPart(p);
    if (!parent.empty() && parent != p) {
      CResult r = MakeFolders(parent);
      if (!r.ok()) return r;
    }
    if (!CreateDirectoryA(p.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return WindowsError(path, GetLastError());
    }
    return CResult::Ok();
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  CResult FreeSpace(const std::string& folder, uint64_t* bytes) override {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                             nullptr)) {
      return WindowsError(folder, GetLastError());
    }
    *bytes = available.QuadPart;
    return CResult::Ok();
  }
};

}  // namespace

CFileSystem* DefaultFileSystem() {
  static Win32FileSystem fs;
  return &fs;
}
