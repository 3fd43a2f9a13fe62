// Threads, trace output, settings and package sources on POSIX systems.

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>


#include "package/embedded_package.h"
#include "platform/platform.h"

namespace {

class PosixThread : public CThread {
 public:
  explicit PosixThread(pthread_t thread) : m_thread(thread) {}
  ~PosixThread() override {
    if (!m_joined) pthread_detach(m_thread);
  }
  void Join() override {
    if (m_joined) return;
    pthread_join(m_thread, nullptr);
    m_joined = true;
  }

 private:
  pthread_t m_thread;
  bool m_joined = false;
};

struct ThreadStart {
  CThreads::Routine routine;
  void* param;
};

void* ThreadMain(void* arg) {
  ThreadStart start = *static_cast<ThreadStart*>(arg);
  delete static_cast<ThreadStart*>(arg);
  start.routine(start.param);
  return nullptr;
}

class PosixThreads : public CThreads {
 public:
  std::unique_ptr<CThread> Start(Routine routine, void* param) override {
    auto* start = new ThreadStart{routine, param};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &ThreadMain, start) != 0) {
      delete start;
      return nullptr;
    }
    return std::make_unique<PosixThread>(thread);
  }
};

// There is no registry here: no value is ever found.
class PosixSettings : public CSettings {
 public:
  bool ReadMachineString(const std::string&, const std::string&, char*, uint32_t) override {
    return false;
  }
  uint16_t SystemDefaultLangId() override { return 0; }
};

// A read-only private mapping of a whole file; the package is a window into it.
class MappedPackageSource : public CPackageSource {
 public:
  MappedPackageSource(std::string path, bool embedded)
      : m_path(std::move(path)), m_embedded(embedded) {}
  ~MappedPackageSource() override {
    if (m_map != nullptr) munmap(m_map, m_mapSize);
  }

  EFind Load(const uint8_t** data, uint64_t* size) override {
    if (!m_loaded) Map();
    if (m_result == EFind::kLoaded) {
      *data = m_data;
      *size = m_size;
    }
    return m_result;
  }

  std::string Describe() const override {
    return m_embedded ? "package appended to " + m_path : m_path;
  }

 private:
  void Map() {
    m_loaded = true;
    m_result = EFind::kMissing;
    const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return;
    }
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    uint64_t offset = 0;
    uint64_t size = fileSize;
    if (m_embedded) {
      uint8_t trailer[kEmbeddedTrailerSize];
      if (fileSize < kEmbeddedTrailerSize ||
          pread(fd, trailer, sizeof trailer, static_cast<off_t>(fileSize - sizeof trailer)) !=
              static_cast<ssize_t>(sizeof trailer) ||
          !DecodeEmbeddedTrailer(trailer, fileSize, &offset, &size)) {
        close(fd);
        return;  // no package carried
      }
    }
    m_result = EFind::kNotLoadable;
    if (fileSize == 0) {
      // Nothing to map: an empty package is still a package (it fails validation).
      close(fd);
      static const uint8_t kNothing = 0;
      m_data = &kNothing;
      m_size = 0;
      m_result = EFind::kLoaded;
      return;
    }
    void* map = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return;
    m_map = map;
    m_mapSize = fileSize;
    m_data = static_cast<const uint8_t*>(map) + offset;
    m_size = size;
    m_result = EFind::kLoaded;
  }

  std::string m_path;
  bool m_embedded;
  bool m_loaded = false;
  EFind m_result = EFind::kMissing;
  void* m_map = nullptr;
  size_t m_mapSize = 0;
  const uint8_t* m_data = nullptr;
  uint64_t m_size = 0;
};

std::string SelfExecutablePath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace

CSettings* DefaultSettings() {
  static PosixSettings settings;
  return &settings;
}

CThreads* DefaultThreads() {
  static PosixThreads threads;
  return &threads;
}

std::unique_ptr<CPackageSource> NewEmbeddedPackageSource() {
  return std::make_unique<MappedPackageSource>(SelfExecutablePath(), true);
}

std::unique_ptr<CPackageSource> NewFilePackageSource(const std::string& path) {
  return std::make_unique<MappedPackageSource>(path, false);
}
