#include "support/fake_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

CResult Fail(const std::string& path, int code) {
  return CResult::Error(code, path + ": " + std::strerror(code));
}

class MemoryReadableFile : public CReadableFile {
 public:
  explicit MemoryReadableFile(CMemoryFileSystem::Content content)
      : m_content(std::move(content)) {}
  int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    if (offset >= m_content->size()) return 0;
    const size_t take = std::min<uint64_t>(n, m_content->size() - offset);
    std::memcpy(buffer, m_content->data() + offset, take);
    return static_cast<int64_t>(take);
  }
  int64_t Size() override { return static_cast<int64_t>(m_content->size()); }

 private:
  CMemoryFileSystem::Content m_content;
};

class MemoryWritableFile : public CWritableFile {
 public:
  explicit MemoryWritableFile(CMemoryFileSystem::Content content)
      : m_content(std::move(content)) {}
  CResult Append(const void* data, size_t n) override {
    if (m_closed) return Fail("memory file", EBADF);
    m_content->append(static_cast<const char*>(data), n);
    return CResult::Ok();
  }
  CResult Sync() override { return m_closed ? Fail("memory file", EBADF) : CResult::Ok(); }
  CResult Close() override {
    if (m_closed) return Fail("memory file", EBADF);
    m_closed = true;
    return CResult::Ok();
  }

 private:
  CMemoryFileSystem::Content m_content;
  bool m_closed = false;
};

class FaultReadableFile : public CReadableFile {
 public:
  FaultReadableFile(CFaultFileSystem& fs, std::unique_ptr<CReadableFile> base, std::string path)
      : m_fs(fs), m_base(std::move(base)), m_path(std::move(path)) {}
  int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    if (!m_fs.Hit(CFaultFileSystem::kRead, m_path).ok()) return -1;
    return m_base->ReadAt(offset, buffer, n);
  }
  int64_t Size() override { return m_base->Size(); }

 private:
  CFaultFileSystem& m_fs;
  std::unique_ptr<CReadableFile> m_base;
  std::string m_path;
};

class FaultWritableFile : public CWritableFile {
 public:
  FaultWritableFile(CFaultFileSystem& fs, std::unique_ptr<CWritableFile> base, std::string path)
      : m_fs(fs), m_base(std::move(base)), m_path(std::move(path)) {}
  CResult Append(const void* data, size_t n) override {
    CResult r = m_fs.Hit(CFaultFileSystem::kAppend, m_path);
    return r.ok() ? m_base->Append(data, n) : r;
  }
  CResult AppendFrom(CReadableFile& source, uint64_t offset, uint64_t n,
                     uint64_t* copied) override {
    *copied = 0;
    CResult r = m_fs.Hit(CFaultFileSystem::kAppend, m_path);
    if (!r.ok()) return r;
    // The source may itself be a wrapped file; copy through it so its faults apply too.
    return CWritableFile::AppendFrom(source, offset, n, copied);
  }
  CResult Sync() override {
    CResult r = m_fs.Hit(CFaultFileSystem::kSync, m_path);
    return r.ok() ? m_base->Sync() : r;
  }
  CResult Close() override {
    CResult r = m_fs.Hit(CFaultFileSystem::kClose, m_path);
    CResult closed = m_base->Close();  // the handle is released either way
    return r.ok() ? closed : r;
  }

 private:
  CFaultFileSystem& m_fs;
  std::unique_ptr<CWritableFile> m_base;
  std::string m_path;
};

}  // namespace

std::string CMemoryFileSystem::Key(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '\\', '/');
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

void CMemoryFileSystem::Put(const std::string& path, std::string content) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_files[Key(path)] = std::make_shared<std::string>(std::move(content));
}

std::string CMemoryFileSystem::Get(const std::string& path, bool* found) const {
  std::lock_guard<std::mutex> hold(m_lock);
  auto it = m_files.find(Key(path));
  if (found != nullptr) *found = it != m_files.end();
  return it == m_files.end() ? std::string() : *it->second;
}

std::vector<std::string> CMemoryFileSystem::Paths() const {
  std::lock_guard<std::mutex> hold(m_lock);
  std::vector<std::string> paths;
  for (const auto& f : m_files) paths.push_back(f.first);
  return paths;
}

CResult CMemoryFileSystem::OpenRead(const std::string& path,
                                    std::unique_ptr<CReadableFile>* file) {
  std::lock_guard<std::mutex> hold(m_lock);
  auto it = m_files.find(Key(path));
  if (it == m_files.end()) return Fail(path, ENOENT);
  // A snapshot: later replacements of the path do not change what this reader sees.
  file->reset(new MemoryReadableFile(std::make_shared<std::string>(*it->second)));
  return CResult::Ok();
}

CResult CMemoryFileSystem::OpenWrite(const std::string& path,
                                     std::unique_ptr<CWritableFile>* file) {
  std::lock_guard<std::mutex> hold(m_lock);
  auto content = std::make_shared<std::string>();
  m_files[Key(path)] = content;
  file->reset(new MemoryWritableFile(content));
  return CResult::Ok();
}

CResult CMemoryFileSystem::Delete(const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_files.erase(Key(path)) == 0) return Fail(path, ENOENT);
  return CResult::Ok();
}

CResult CMemoryFileSystem::Replace(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> hold(m_lock);
  auto it = m_files.find(Key(from));
  if (it == m_files.end()) return Fail(from, ENOENT);
  Content content = it->second;
  m_files.erase(it);
  m_files[Key(to)] = content;
  return CResult::Ok();
}

CResult CMemoryFileSystem::Move(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_files.count(Key(to)) != 0) return Fail(to, EEXIST);
  auto it = m_files.find(Key(from));
  if (it == m_files.end()) return Fail(from, ENOENT);
  Content content = it->second;
  m_files.erase(it);
  m_files[Key(to)] = content;
  return CResult::Ok();
}

CResult CMemoryFileSystem::MakeFolders(const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  std::string key = Key(path);
  while (!key.empty()) {
    m_folders.insert(key);
    const size_t slash = key.rfind('/');
    if (slash == std::string::npos || slash == 0) break;
    key.resize(slash);
  }
  return CResult::Ok();
}

bool CMemoryFileSystem::Exists(const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  const std::string key = Key(path);
  return m_files.count(key) != 0 || m_folders.count(key) != 0;
}

CResult CMemoryFileSystem::FreeSpace(const std::string&, uint64_t* bytes) {
  *bytes = freeSpace;
  return CResult::Ok();
}

void CFaultFileSystem::FailAt(EOp op, int nth, int code) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_failAt[op][m_calls[op] + nth] = code;
}

void CFaultFileSystem::FailPath(EOp op, const std::string& part, int code) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_failPath.push_back({op, {part, code}});
}

int CFaultFileSystem::Calls(EOp op) const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_calls[op];
}

std::vector<std::string> CFaultFileSystem::Log() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_log;
}

void CFaultFileSystem::Record(const std::string& entry) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_log.push_back(entry);
}

CResult CFaultFileSystem::Hit(EOp op, const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  const int call = ++m_calls[op];
  auto failures = m_failAt.find(op);
  if (failures != m_failAt.end()) {
    auto it = failures->second.find(call);
    if (it != failures->second.end()) return Fail(path, it->second);
  }
  for (const auto& f : m_failPath) {
    if (f.first == op && path.find(f.second.first) != std::string::npos) {
      return Fail(path, f.second.second);
    }
  }
  return CResult::Ok();
}

CResult CFaultFileSystem::OpenRead(const std::string& path,
                                   std::unique_ptr<CReadableFile>* file) {
  CResult r = Hit(kOpenRead, path);
  if (!r.ok()) return r;
  std::unique_ptr<CReadableFile> base;
  r = m_base.OpenRead(path, &base);
  if (r.ok()) file->reset(new FaultReadableFile(*this, std::move(base), path));
  return r;
}

CResult CFaultFileSystem::OpenWrite(const std::string& path,
                                    std::unique_ptr<CWritableFile>* file) {
  CResult r = Hit(kOpenWrite, path);
  if (!r.ok()) return r;
  std::unique_ptr<CWritableFile> base;
  r = m_base.OpenWrite(path, &base);
  if (r.ok()) {
    Record("write " + path);
    file->reset(new FaultWritableFile(*this, std::move(base), path));
  }
  return r;
}

CResult CFaultFileSystem::Delete(const std::string& path) {
  Record("delete " + path);
  CResult r = Hit(kDelete, path);
  return r.ok() ? m_base.Delete(path) : r;
}

CResult CFaultFileSystem::Replace(const std::string& from, const std::string& to) {
  Record("replace " + from + " -> " + to);
  CResult r = Hit(kReplace, to);
  return r.ok() ? m_base.Replace(from, to) : r;
}

CResult CFaultFileSystem::Move(const std::string& from, const std::string& to) {
  Record("move " + from + " -> " + to);
  CResult r = Hit(kMove, to);
  return r.ok() ? m_base.Move(from, to) : r;
}

CResult CFaultFileSystem::MakeFolders(const std::string& path) {
  CResult r = Hit(kMakeFolders, path);
  return r.ok() ? m_base.MakeFolders(path) : r;
}
