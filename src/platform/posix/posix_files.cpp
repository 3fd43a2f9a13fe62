#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/path.h"
#include "platform/platform.h"
#include "platform/posix/posix_error.h"

namespace {

class PosixReadableFile : public CReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  ~PosixReadableFile() override { ::close(m_fd); }

  int64_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < n) {
      const ssize_t r = ::pread(m_fd, out + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(done);
  }

  int64_t Size() override {
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return -1;
    return st.st_size;
  }

  int fd() const { return m_fd; }

 private:
  int m_fd;
  std::string m_path;
};

class PosixWritableFile : public CWritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  ~PosixWritableFile() override {
    if (m_fd >= 0) ::close(m_fd);
  }

  CResult Append(const void* data, size_t n) override {
    if (m_fd < 0) return CResult::Error(EBADF, m_path + ": file is closed");
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      const ssize_t w = ::write(m_fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return PosixError(m_path, errno);
      }
      p += w;
      n -= static_cast<size_t>(w);
      m_offset += static_cast<uint64_t>(w);
      StartWriteback();
    }
    return CResult::Ok();
  }

  CResult AppendFrom(CReadableFile& source, uint64_t offset, uint64_t n,
                     uint64_t* copied) override {
    *copied = 0;
#ifdef __linux__
    // The kernel copies well when every source page lands on one destination page, that
    // is when both offsets lie at the same place in a page (and a file system that can
    // share extents then shares them). Otherwise each page it moves straddles two pages
    // of the destination, which measures about 1.5 times slower than reading the stretch
    // through a buffer and writing it whole.
    auto* posixSource = dynamic_cast<PosixReadableFile*>(&source);
    if (posixSource != nullptr && n > kCopyBuffer) {
      // Have the whole stretch read at once rather than one readahead window after the
      // other: when the source is not in memory, the disk then gets deep queues of reads
      // while the stretch is being written. Advisory, like any hint.
      ::posix_fadvise(posixSource->fd(), static_cast<off_t>(offset), static_cast<off_t>(n),
                      POSIX_FADV_WILLNEED);
    }
    if (posixSource != nullptr && m_fd >= 0 && m_kernelCopy &&
        ((offset ^ m_offset) & (kPageSize - 1)) == 0) {
      while (*copied < n) {
        loff_t in = static_cast<loff_t>(offset + *copied);
        loff_t out = static_cast<loff_t>(m_offset);
        const size_t want = static_cast<size_t>(std::min<uint64_t>(n - *copied, kWritebackStep));
        const ssize_t r = ::copy_file_range(posixSource->fd(), &in, m_fd, &out, want, 0);
        if (r < 0) {
          if (errno == EINTR) continue;
          if (*copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                               errno == EINVAL)) {
            m_kernelCopy = false;  // fall back to the buffer for this file
            break;
          }
          return PosixError(m_path, errno);
        }
        if (r == 0) return Seek();
        *copied += static_cast<uint64_t>(r);
        m_offset += static_cast<uint64_t>(r);
        StartWriteback();
      }
      if (m_kernelCopy) return Seek();
    }
#endif
    return CopyThroughBuffer(source, offset, n, copied);
  }

  CResult Sync() override {
    if (m_fd < 0) return CResult::Error(EBADF, m_path + ": file is closed");
    if (::fdatasync(m_fd) != 0) return PosixError(m_path, errno);
    return CResult::Ok();
  }

  CResult Close() override {
    if (m_fd < 0) return CResult::Error(EBADF, m_path + ": file is closed");
    const int r = ::close(m_fd);
    m_fd = -1;
    if (r != 0) return PosixError(m_path, errno);
    return CResult::Ok();
  }

 private:
  static constexpr uint64_t kPageSize = 4096;
  static constexpr size_t kCopyBuffer = size_t{1} << 20;
  static constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

  // Asks the kernel to start writing out each finished stretch of kWritebackStep bytes
  // (whole pages only, so a page that is still being filled is not written twice),
  // without waiting for it. The disk then works while the rest of the file is produced,
  // and the closing Sync only waits for the tail instead of for the whole file. Advisory:
  // a failure here is ignored, Sync reports whatever does not reach the disk.
  void StartWriteback() {
#ifdef __linux__
    const uint64_t end = m_offset & ~(kPageSize - 1);
    if (end - m_writebackStart < kWritebackStep) return;
    ::sync_file_range(m_fd, static_cast<off64_t>(m_writebackStart),
                      static_cast<off64_t>(end - m_writebackStart), SYNC_FILE_RANGE_WRITE);
    m_writebackStart = end;
#endif
  }

  // Reads the stretch through one buffer, allocated on the first use and kept for the
  // file's other stretches, and appends it in writes of the buffer's size.
  CResult CopyThroughBuffer(CReadableFile& source, uint64_t offset, uint64_t n,
                            uint64_t* copied) {
    if (m_buffer == nullptr) m_buffer.reset(new uint8_t[kCopyBuffer]);
    while (*copied < n) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(n - *copied, kCopyBuffer));
      const int64_t got = source.ReadAt(offset + *copied, m_buffer.get(), want);
      if (got < 0) return CResult::Error(EIO, m_path + ": cannot read the source of a copy");
      if (got == 0) break;
      CResult r = Append(m_buffer.get(), static_cast<size_t>(got));
      if (!r.ok()) return r;
      *copied += static_cast<uint64_t>(got);
      if (static_cast<size_t>(got) < want) break;
    }
    return CResult::Ok();
  }

  // copy_file_range moves the explicit output offset, not the file position: keep the
  // file position in step so that later plain writes append.
  CResult Seek() {
    if (::lseek(m_fd, static_cast<off_t>(m_offset), SEEK_SET) < 0) {
      return PosixError(m_path, errno);
    }
    return CResult::Ok();
  }

  int m_fd;
  std::string m_path;
  uint64_t m_offset = 0;
  uint64_t m_writebackStart = 0;  // everything before was handed to StartWriteback
  bool m_kernelCopy = true;
  std::unique_ptr<uint8_t[]> m_buffer;
};

// Package names use '\' as well as '/'; on this platform only '/' separates folders.
std::string NativePath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

CResult SyncFolderOf(const std::string& path) {
  std::string folder = FolderPart(path);
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return PosixError(folder, errno);
  const int r = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (r != 0 && err != EINVAL) return PosixError(folder, err);
  return CResult::Ok();
}

class PosixFileSystem : public CFileSystem {
 public:
  CResult OpenRead(const std::string& path, std::unique_ptr<CReadableFile>* file) override {
    const std::string p = NativePath(path);
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return PosixError(path, errno);
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return PosixError(path, EISDIR);
    }
    file->reset(new PosixReadableFile(fd, path));
    return CResult::Ok();
  }

  CResult OpenWrite(const std::string& path, std::unique_ptr<CWritableFile>* file) override {
    const std::string p = NativePath(path);
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return PosixError(path, errno);
    file->reset(new PosixWritableFile(fd, path));
    return CResult::Ok();
  }

  CResult Delete(const std::string& path) override {
    if (::unlink(NativePath(path).c_str()) != 0) return PosixError(path, errno);
    return CResult::Ok();
  }

  CResult Replace(const std::string& from, const std::string& to) override {
    const std::string target = NativePath(to);
    // A read-only file is one its owner does not want changed. A rename would replace it
    // anyway (only the folder's permissions count here); refuse, as Windows does.
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      return CResult::Error(EACCES, to + ": the file is read-only");
    }
    if (::rename(NativePath(from).c_str(), target.c_str()) != 0) return PosixError(to, errno);
    // Make the new name durable as well as the new bytes.
    return SyncFolderOf(target);
  }

  CResult Move(const std::string& from, const std::string& to) override {
    const std::string source = NativePath(from);
    const std::string target = NativePath(to);
    // link() refuses an existing target, which gives the no-overwrite rename.
    if (::link(source.c_str(), target.c_str()) != 0) return PosixError(to, errno);
    if (::unlink(source.c_str()) != 0) {
      const int err = errno;
      ::unlink(target.c_str());
      return PosixError(from, err);
    }
    return CResult::Ok();
  }

  CResult MakeFolders(const std::string& path) override {
    std::string p = NativePath(path);
    while (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) return CResult::Ok();
    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return CResult::Ok();
      return PosixError(path, ENOTDIR);
    }
    const size_t slash = p.rfind('/');
    if (slash != std::string::npos && slash > 0) {
      CResult parent = MakeFolders(p.substr(0, slash));
      if (!parent.ok()) return parent;
    }
    if (::mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) return PosixError(path, errno);
    return CResult::Ok();
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0;
  }

  CResult FreeSpace(const std::string& folder, uint64_t* bytes) override {
    std::string p = NativePath(folder);
    if (p.empty()) p = ".";
    struct statvfs vfs;
    if (::statvfs(p.c_str(), &vfs) != 0) return PosixError(folder, errno);
    *bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return CResult::Ok();
  }
};

}  // namespace

CResult PosixError(const std::string& context, int err) {
  return CResult::Error(err, context + ": " + ::strerror(err));
}

CFileSystem* DefaultFileSystem() {
  static PosixFileSystem fs;
  return &fs;
}
