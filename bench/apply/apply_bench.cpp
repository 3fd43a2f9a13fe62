// Benchmark of the apply stage: rebuilds a large installed archive from a package and
// compares the time with copying the finished file (cp, then fsync) on the same disk.
// Also reports the apply's peak heap, counted by the global allocation functions below.
//
//   mrpatch_bench_apply [--size MiB] [--rounds N] [--dir FOLDER] [--keep]
//
// The archive, the update and the package are generated from fixed seeds, so every run
// builds the same bytes. Files go under FOLDER (default: $TMPDIR or /tmp); they take
// about 3.5 times --size on disk and are removed at the end unless --keep is given.

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench_archive.h"
#include "package/package_format.h"
#include "platform/platform.h"
#include "run/patch_run.h"

// ---- Heap accounting: every C++ allocation of the process passes through here. ----

namespace {
std::atomic<int64_t> g_heapNow{0};
std::atomic<int64_t> g_heapPeak{0};

void* Counted(void* p) {
  if (p == nullptr) return nullptr;
  const int64_t now = g_heapNow.fetch_add(static_cast<int64_t>(malloc_usable_size(p))) +
                      static_cast<int64_t>(malloc_usable_size(p));
  int64_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void Uncounted(void* p) {
  if (p == nullptr) return;
  g_heapNow.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)));
  std::free(p);
}
void* Allocate(size_t n) {
  void* p = Counted(std::malloc(n == 0 ? 1 : n));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* AllocateAligned(size_t n, std::align_val_t a) {
  const size_t align = static_cast<size_t>(a);
  const size_t rounded = (std::max<size_t>(n, 1) + align - 1) / align * align;
  void* p = Counted(std::aligned_alloc(align, rounded));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  return Counted(std::malloc(n ? n : 1));
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  return Counted(std::malloc(n ? n : 1));
}
void* operator new(size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void* operator new[](size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t) noexcept { Uncounted(p); }
void operator delete(void* p, std::align_val_t) noexcept { Uncounted(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Uncounted(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { Uncounted(p); }

// ---- The run's platform: real files, nothing interactive. ----

namespace {

class CNoSettings : public CSettings {
 public:
  bool ReadMachineString(const std::string&, const std::string&, char*, uint32_t) override {
    return false;
  }
  uint16_t SystemDefaultLangId() override { return 0x0409; }
};

class CNoUi : public CUserInterface {
 public:
  bool AskYesNo(WindowHandle, const std::string&, const std::string&) override { return false; }
  std::string ChooseFolder(WindowHandle, const std::string&) override { return ""; }
  void PostResult(WindowHandle, uint32_t, uintptr_t) override {}
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool SameContent(const std::string& a, const std::string& b) {
  FILE* fa = std::fopen(a.c_str(), "rb");
  FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa != nullptr && fb != nullptr;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (same) {
    const size_t na = std::fread(ba.data(), 1, ba.size(), fa);
    const size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
    if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) same = false;
    if (na == 0) break;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

// cp, then fsync of the copy: what it costs the system just to put the new file down.
double CopyAndSync(const std::string& from, const std::string& to) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const int fd = open(to.c_str(), O_RDONLY);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fd < 0 || fsync(fd) != 0) {
    std::fprintf(stderr, "cp + fsync failed\n");
    std::exit(1);
  }
  close(fd);
  return Seconds(std::chrono::steady_clock::now() - start);
}

struct Options {
  uint64_t sizeMiB = 1024;
  int rounds = 3;
  std::string dir;
  bool keep = false;
};

Options Parse(int argc, char** argv) {
  Options o;
  const char* tmp = std::getenv("TMPDIR");
  o.dir = tmp != nullptr && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) {
      o.sizeMiB = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--rounds" && i + 1 < argc) {
      o.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--dir" && i + 1 < argc) {
      o.dir = argv[++i];
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--size MiB] [--rounds N] [--dir FOLDER] [--keep]\n",
                   argv[0]);
      std::exit(2);
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  std::string work = options.dir + "/mrpatch-bench-apply-XXXXXX";
  if (mkdtemp(&work[0]) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string install = work + "/install/";
  mkdir(install.c_str(), 0755);
  const std::string pristine = work + "/old.pkg";
  const std::string expected = work + "/new.pkg";
  const std::string packagePath = work + "/package.dat";

  std::printf("generating a %llu MiB archive and its update in %s\n",
              static_cast<unsigned long long>(options.sizeMiB), work.c_str());
  CBenchUpdate update =
      GenerateBenchUpdate(options.sizeMiB << 20, pristine, expected, packagePath, "bench.pkg");
  if (!update.ok) {
    std::fprintf(stderr, "generation failed\n");
    return 1;
  }
  std::printf("installed archive %.1f MiB, %u members; new archive %.1f MiB\n",
              update.oldSize / 1048576.0, update.oldMembers, update.newSize / 1048576.0);
  std::printf(
      "package %.1f MiB: %u local blocks (%.1f KiB to %.1f MiB), %u package blocks "
      "(largest %.1f MiB), %u members changed, %u added\n",
      update.packageSize / 1048576.0, update.localBlocks, update.smallestLocal / 1024.0,
      update.largestLocal / 1048576.0, update.packageBlocks, update.largestPackageBlock / 1048576.0,
      update.changedMembers, update.addedMembers);

  CNoSettings settings;
  CNoUi ui;
  std::vector<double> applyTimes, copyTimes;
  int64_t heapPeak = 0;
  for (int round = 0; round < options.rounds; ++round) {
    // The installed archive: a link to the pristine one, which the rename leaves alone.
    const std::string target = install + "bench.pkg";
    unlink(target.c_str());
    if (link(pristine.c_str(), target.c_str()) != 0) {
      std::perror("link");
      return 1;
    }
    sync();  // no earlier writes left to flush inside the timed sections

    double applySeconds = 0;
    {
      std::unique_ptr<CPackageSource> source = NewFilePackageSource(packagePath);
      CPlatform platform;
      platform.files = DefaultFileSystem();
      platform.settings = &settings;
      platform.ui = &ui;
      platform.package = source.get();
      platform.threads = DefaultThreads();
      platform.trace = DefaultTrace();
      CPatchRun run(platform);
      g_installFolder = install;
      if (!run.LoadPackage()) return 1;
      std::vector<std::string> names{"bench.pkg"};
      const int64_t base = g_heapNow.load();
      g_heapPeak.store(base);
      const auto start = std::chrono::steady_clock::now();
      const bool ok = run.ApplyPatch(names);
      applySeconds = Seconds(std::chrono::steady_clock::now() - start);
      heapPeak = std::max(heapPeak, g_heapPeak.load() - base);
      if (!ok) {
        std::fprintf(stderr, "the apply stage failed\n");
        return 1;
      }
    }
    if (!SameContent(target, expected)) {
      std::fprintf(stderr, "the rebuilt archive differs from the expected one\n");
      return 1;
    }
    sync();

    const std::string copy = install + "copy.pkg";
    const double copySeconds = CopyAndSync(expected, copy);
    unlink(copy.c_str());
    unlink(target.c_str());

    applyTimes.push_back(applySeconds);
    copyTimes.push_back(copySeconds);
    std::printf("round %d: apply %.3f s, cp + fsync %.3f s, ratio %.3f\n", round + 1, applySeconds,
                copySeconds, applySeconds / copySeconds);
  }

  const double apply = Median(applyTimes);
  const double copy = Median(copyTimes);
  std::printf("apply (median of %d): %.3f s\n", options.rounds, apply);
  std::printf("cp + fsync (median of %d): %.3f s\n", options.rounds, copy);
  std::vector<double> ratios;
  for (size_t i = 0; i < applyTimes.size(); ++i) ratios.push_back(applyTimes[i] / copyTimes[i]);
  std::printf(
      "ratio apply / (cp + fsync): %.3f of the medians, %.3f median of the rounds "
      "(target <= 1.15)\n",
      apply / copy, Median(ratios));
  std::printf("apply peak heap: %.2f MiB (%lld bytes; target <= 16 MiB)\n", heapPeak / 1048576.0,
              static_cast<long long>(heapPeak));

  if (!options.keep) {
    unlink(pristine.c_str());
    unlink(expected.c_str());
    unlink(packagePath.c_str());
    rmdir(install.c_str());
    rmdir(work.c_str());
  }
  return 0;
}
