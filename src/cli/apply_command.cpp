// mrpatch apply: one full patch run, the same stages as the Windows program, with the
// progress on the terminal instead of a window.

#include <chrono>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/progress_display.h"
#include "cli/terminal.h"
#include "cli/terminal_ui.h"
#include "package/package_check.h"
#include "platform/path.h"
#include "run/patch_run.h"

namespace {

const char kApplyUsage[] =
    "usage: mrpatch apply [--package FILE] [--install-dir DIR] [--yes | --no] [--quiet]\n"
    "\n"
    "Applies a patch package to the installed client.\n"
    "  --package FILE      the package to apply (default: the one this program carries)\n"
    "  --install-dir DIR   the client's install folder (default: look it up)\n"
    "  --yes               when an installed archive differs, leave it out and go on\n"
    "  --no                when an installed archive differs, stop (the default when\n"
    "                      standard input is not a terminal)\n"
    "  --quiet             no progress bar and no closing line\n"
    "Exit code 0 when the patch completed, 1 when it failed, 2 for a usage error.\n";

constexpr int kRefreshMilliseconds = 100;

struct CApplyOptions {
  std::string packagePath;
  std::string installDir;
  bool hasInstallDir = false;
  bool quiet = false;
  CTerminalUi::EAnswer answer = CTerminalUi::EAnswer::kAsk;
};

// 0 when parsed, else the exit code to return.
int Parse(const CArgs& args, CApplyOptions* o, bool* help) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) {
      *help = true;
      return 0;
    } else if (a == "--package") {
      if (!TakeValue(args, &i, &o->packagePath) || o->packagePath.empty()) {
        return UsageError("apply", "apply: --package needs a file");
      }
    } else if (a == "--install-dir") {
      if (!TakeValue(args, &i, &o->installDir) || o->installDir.empty()) {
        return UsageError("apply", "apply: --install-dir needs a folder");
      }
      o->hasInstallDir = true;
    } else if (a == "--yes" || a == "--no") {
      const auto wanted = a == "--yes" ? CTerminalUi::EAnswer::kYes : CTerminalUi::EAnswer::kNo;
      if (o->answer != CTerminalUi::EAnswer::kAsk && o->answer != wanted) {
        return UsageError("apply", "apply: --yes and --no exclude each other");
      }
      o->answer = wanted;
    } else if (a == "--quiet") {
      o->quiet = true;
    } else {
      return UsageError("apply", "apply: unexpected argument '" + a + "'");
    }
  }
  return 0;
}

std::string WithTrailingSeparator(std::string folder) {
  if (!IsPathSeparator(folder.back())) folder += '/';
  return folder;
}

// Opens the package the run will read and checks it, so that a missing or broken package
// is reported with its name and rule before the run starts.
int CheckPackage(CPackageSource& source, bool embedded, bool noArguments) {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  const CPackageSource::EFind found = source.Load(&data, &size);
  if (found == CPackageSource::EFind::kMissing && embedded) {
    if (noArguments) return UsageError("", "this program carries no package");
    return Failure("this program carries no package; name one with --package FILE");
  }
  if (found != CPackageSource::EFind::kLoaded || data == nullptr) {
    return Failure(source.Describe() + ": cannot open the package");
  }
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) return Failure(source.Describe() + ": " + check.Describe());
  return kExitOk;
}

}  // namespace

int RunApply(const CArgs& args) {
  CApplyOptions options;
  bool help = false;
  if (const int code = Parse(args, &options, &help)) return code;
  if (help) {
    std::cout << kApplyUsage;
    return kExitOk;
  }
  CFileSystem* files = DefaultFileSystem();
  if (options.hasInstallDir && !files->Exists(options.installDir)) {
    return Failure(options.installDir + ": no such install folder");
  }
  const bool embedded = options.packagePath.empty();
  std::unique_ptr<CPackageSource> source =
      embedded ? NewEmbeddedPackageSource() : NewFilePackageSource(options.packagePath);
  if (const int code = CheckPackage(*source, embedded, args.empty())) return code;

  const bool drawBar = !options.quiet && StderrIsTerminal();
  CProgressDisplay display(drawBar ? stderr : nullptr, stdout, TerminalColumns());
  CTerminalUi ui(options.answer, &display);
  CPlatform platform;
  platform.files = files;
  platform.settings = DefaultSettings();
  platform.ui = &ui;
  platform.package = source.get();
  platform.threads = DefaultThreads();
  platform.trace = &display;

  CPatchRun run(platform);
  if (options.hasInstallDir) run.PresetInstallFolder(WithTrailingSeparator(options.installDir));
  const auto started = std::chrono::steady_clock::now();
  if (!run.Start(nullptr, kResultMessage)) return Failure("cannot start the patch thread");
  uintptr_t result = kResultFailed;
  const CPatchStatus& status = run.Status();
  // The speed counts from the start of the apply stage, when the total is set: the time
  // spent comparing (and waiting for an answer) moves no package data.
  auto applying = started;
  bool totalSeen = false;
  auto show = [&] {
    if (!totalSeen && status.Total() != 0) {
      totalSeen = true;
      applying = std::chrono::steady_clock::now();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - applying).count();
    display.Update(status.Done(), status.Total(), seconds, status.GetText());
  };
  while (!ui.WaitForResult(kRefreshMilliseconds, &result)) show();
  run.FinishOrExit(kExitFailed);
  const bool completed = result == kResultCompleted;
  if (completed && drawBar) {
    // As the window does: a completed run shows a full bar.
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - applying).count();
    display.Update(status.Total(), status.Total(), seconds, status.GetText());
  }
  display.Finish();
  if (!options.quiet)
    std::cerr << (completed ? " Patch is completed." : " Patch is failed.") << "\n";
  if (!completed) {
    const std::string last = display.LastLine();
    if (!last.empty()) std::cerr << "mrpatch: " << last << "\n";
  }
  return completed ? kExitOk : kExitFailed;
}
