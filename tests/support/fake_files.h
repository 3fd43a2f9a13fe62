#pragma once

// File systems for tests: one held in memory, and a wrapper around any file system that
// records what was done and fails the Nth call of a chosen operation.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// Files held in memory, keyed by path with '\' read as '/'. Folders are tracked only so
// that MakeFolders and Exists behave; writing a file does not require its folder.
class CMemoryFileSystem : public CFileSystem {
 public:
  uint64_t freeSpace = UINT64_C(1) << 40;

  void Put(const std::string& path, std::string content);
  // The file's content; `*found` false (and "") when there is none.
  std::string Get(const std::string& path, bool* found = nullptr) const;
  std::vector<std::string> Paths() const;

  CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) override;
  CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) override;
  CResult Delete(const std::string& path) override;
  CResult Replace(const std::string& from, const std::string& to) override;
  CResult Move(const std::string& from, const std::string& to) override;
  CResult MakeFolders(const std::string& path) override;
  bool Exists(const std::string& path) override;
  CResult FreeSpace(const std::string& folder, uint64_t* bytes) override;

  using Content = std::shared_ptr<std::string>;

 private:
  static std::string Key(const std::string& path);
  mutable std::mutex m_lock;
  std::map<std::string, Content> m_files;
  std::set<std::string> m_folders;
};

class CFaultFileSystem : public CFileSystem {
 public:
  enum EOp { kOpenRead, kOpenWrite, kRead, kAppend, kSync, kClose, kDelete, kReplace, kMove,
             kMakeFolders, kOpCount };

  explicit CFaultFileSystem(CFileSystem& base) : m_base(base) {}

  // Makes the `nth` call (1-based, counted from now) of `op` fail with `code`.
  void FailAt(EOp op, int nth, int code = 28 /* ENOSPC */);
  // Makes every call of `op` whose path contains `part` fail.
  void FailPath(EOp op, const std::string& part, int code = 13 /* EACCES */);
  int Calls(EOp op) const;
  // "delete PATH", "replace FROM -> TO", "move FROM -> TO", in call order.
  std::vector<std::string> Log() const;

  CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) override;
  CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) override;
  CResult Delete(const std::string& path) override;
  CResult Replace(const std::string& from, const std::string& to) override;
  CResult Move(const std::string& from, const std::string& to) override;
  CResult MakeFolders(const std::string& path) override;
  bool Exists(const std::string& path) override { return m_base.Exists(path); }
  CResult FreeSpace(const std::string& folder, uint64_t* bytes) override {
    return m_base.FreeSpace(folder, bytes);
  }

  // Counts a call of `op` on `path`; returns the injected failure, or Ok. Used by the
  // wrapped files too.
  CResult Hit(EOp op, const std::string& path);
  void Record(const std::string& entry);

 private:
  CFileSystem& m_base;
  mutable std::mutex m_lock;
  int m_calls[kOpCount] = {};
  std::map<int, std::map<int, int>> m_failAt;  // op -> (call number -> code)
  std::vector<std::pair<int, std::pair<std::string, int>>> m_failPath;
  std::vector<std::string> m_log;
};
