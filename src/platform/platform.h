#pragma once

// Everything a patch run needs from the operating system, behind narrow interfaces.
// The run and its stages only see these classes; each operating system implements
// them once (platform/posix, platform/win32) and the tests use fakes
// (tests/support/fake_platform.h). No caller writes #ifdef.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A window handle as the core sees it: the main window on Windows (an HWND), any
// token the front end chooses elsewhere. The core only passes it back to the platform.
using WindowHandle = void*;

// Outcome of a platform operation. A failure carries the operating system's error
// code (errno or GetLastError) and a one-line message suitable for a trace line.
class CResult {
 public:
  CResult() = default;
  static CResult Ok() { return CResult(); }
  static CResult Error(int code, std::string message) {
    CResult r;
    r.m_failed = true;
    r.m_code = code;
    r.m_message = std::move(message);
    return r;
  }

  bool ok() const { return !m_failed; }
  int code() const { return m_code; }
  const std::string& message() const { return m_message; }

 private:
  bool m_failed = false;
  int m_code = 0;
  std::string m_message;
};

// A file opened for reading. Other processes may read and write it meanwhile.
class CReadableFile {
 public:
  virtual ~CReadableFile() = default;
  // Reads up to n bytes starting at the absolute offset. Returns the number of bytes
  // read (less than n only at the end of the file), or -1 on an I/O error.
  virtual int64_t ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
  // Current size of the file in bytes, or -1 when it cannot be determined.
  virtual int64_t Size() = 0;
};

// A file opened for writing: created, or truncated to length 0 when it exists.
// Other processes may read and write it meanwhile.
class CWritableFile {
 public:
  virtual ~CWritableFile() = default;
  // Appends n bytes. A short write is a failure.
  virtual CResult Append(const void* data, size_t n) = 0;
  // Appends n bytes read from `source` at `offset`. Platforms that can copy inside the
  // kernel do so; others read and write through a bounded buffer. Bytes that lie past
  // the end of `source` are not copied: `*copied` tells how many were.
  virtual CResult AppendFrom(CReadableFile& source, uint64_t offset, uint64_t n,
                             uint64_t* copied);
  // Forces what was written so far to the storage device.
  virtual CResult Sync() = 0;
  // Closes the file; reports a failure of the final flush. Further calls are errors.
  virtual CResult Close() = 0;
};

class CFileSystem {
 public:
  virtual ~CFileSystem() = default;
  virtual CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) = 0;
  virtual CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) = 0;
  virtual CResult Delete(const std::string& path) = 0;
  // Renames `from` over `to` in one step: `to` holds either its old content or the
  // new one at every moment, never nothing. Both lie in the same folder.
  virtual CResult Replace(const std::string& from, const std::string& to) = 0;
  // Renames `from` to `to`; fails when `to` exists.
  virtual CResult Move(const std::string& from, const std::string& to) = 0;
  // Creates the folder `path` and every missing parent. An existing folder is fine.
  virtual CResult MakeFolders(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Bytes available to this user on the volume holding `folder`.
  virtual CResult FreeSpace(const std::string& folder, uint64_t* bytes) = 0;
};

// Machine-wide settings: the registry on Windows, nothing elsewhere.
class CSettings {
 public:
  virtual ~CSettings() = default;
  // Reads the string value `valueName` of `key` under the machine-wide hive into
  // `buffer` of `size` bytes. When the key or value is missing or unreadable the
  // buffer is left untouched. Returns whether a value was read.
  virtual bool ReadMachineString(const std::string& key, const std::string& valueName,
                                 char* buffer, uint32_t size) = 0;
  virtual uint16_t SystemDefaultLangId() = 0;
};

// The user: questions on the worker thread, the result hand-over to the front end.
class CUserInterface {
 public:
  virtual ~CUserInterface() = default;
  // A Yes/No question owned by `owner`. True only when the user answered Yes.
  virtual bool AskYesNo(WindowHandle owner, const std::string& text,
                        const std::string& caption) = 0;
  // Lets the user pick a folder. Returns its path, or an empty text on cancel.
  virtual std::string ChooseFolder(WindowHandle owner, const std::string& title) = 0;
  // Posts (never sends) the run's result to `window`.
  virtual void PostResult(WindowHandle window, uint32_t message, uintptr_t wParam) = 0;
};

// The patch package carried by (or given to) the program, read in place.
class CPackageSource {
 public:
  enum class EFind { kMissing, kNotLoadable, kLoaded };
  virtual ~CPackageSource() = default;
  // On kLoaded, `*data` points at the first byte (null when the bytes could not be
  // locked) and `*size` is the package length. The bytes stay valid and unchanged for
  // the life of the source.
  virtual EFind Load(const uint8_t** data, uint64_t* size) = 0;
  // Where the bytes come from, for messages ("resource DAT 136", a file name).
  virtual std::string Describe() const = 0;
};

class CThread {
 public:
  virtual ~CThread() = default;
  // Waits for the routine to return.
  virtual void Join() = 0;
};

class CThreads {
 public:
  using Routine = uint32_t (*)(void* param);
  virtual ~CThreads() = default;
  // Starts `routine(param)` on a new thread; null when no thread could be created.
  virtual std::unique_ptr<CThread> Start(Routine routine, void* param) = 0;
};

// Trace lines: one line each, ended and flushed at once.
class CTrace {
 public:
  virtual ~CTrace() = default;
  virtual void Line(const std::string& text) = 0;
};

// The set of interfaces a run is built from. Not owning; every pointer is non-null
// and outlives the run.
struct CPlatform {
  CFileSystem* files = nullptr;
  CSettings* settings = nullptr;
  CUserInterface* ui = nullptr;
  CPackageSource* package = nullptr;
  CThreads* threads = nullptr;
  CTrace* trace = nullptr;
};

// This operating system's implementations (process-wide singletons).
CFileSystem* DefaultFileSystem();
CSettings* DefaultSettings();
CThreads* DefaultThreads();
CTrace* DefaultTrace();  // standard output
// The package embedded in the running executable.
std::unique_ptr<CPackageSource> NewEmbeddedPackageSource();
// A package file, mapped read-only.
std::unique_ptr<CPackageSource> NewFilePackageSource(const std::string& path);
