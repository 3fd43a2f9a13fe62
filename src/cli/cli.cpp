#include "cli/cli.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/terminal_ui.h"
#include "package/package_check.h"
#include "platform/path.h"
#include "run/patch_run.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: mrpatch <command> [options]\n"
    "\n"
    "commands:\n"
    "  apply     apply a patch package to an installed client\n"
    "  inspect   validate a package and list its entries\n"
    "\n"
    "mrpatch <command> --help shows the options of a command; mrpatch --version the version.\n";

const char kApplyUsage[] =
    "usage: mrpatch apply [--package FILE] [--install-dir DIR] [--yes | --no] [--quiet]\n"
    "\n"
    "Applies a patch package to the installed client.\n"
    "  --package FILE      the package to apply (default: the one carried by this program)\n"
    "  --install-dir DIR   the client's install folder (default: look it up)\n"
    "  --yes               when an installed archive differs, leave it out and go on\n"
    "  --no                when an installed archive differs, stop\n"
    "  --quiet             no progress display\n"
    "Exit code 0 when the patch completed, 1 when it failed, 2 for a usage error.\n";

const char kInspectUsage[] =
    "usage: mrpatch inspect FILE\n"
    "\n"
    "Validates a package and lists its entries.\n";

int UsageError(const std::string& message) {
  std::cerr << "mrpatch: " << message << "\n" << "Try 'mrpatch --help'.\n";
  return kExitUsage;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty() || !IsPathSeparator(folder.back())) folder += '/';
  return folder;
}

int Apply(const std::vector<std::string>& args) {
  std::string packagePath;
  std::string installDir;
  bool hasInstallDir = false;
  bool quiet = false;
  CTerminalUi::EAnswer answer = CTerminalUi::EAnswer::kAsk;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) {
      std::cout << kApplyUsage;
      return kExitOk;
    } else if (a == "--package" && i + 1 < args.size()) {
      packagePath = args[++i];
    } else if (a == "--install-dir" && i + 1 < args.size()) {
      installDir = args[++i];
      hasInstallDir = true;
    } else if (a == "--yes" || a == "--no") {
      const auto wanted = a == "--yes" ? CTerminalUi::EAnswer::kYes : CTerminalUi::EAnswer::kNo;
      if (answer != CTerminalUi::EAnswer::kAsk && answer != wanted) {
        return UsageError("--yes and --no exclude each other");
      }
      answer = wanted;
    } else if (a == "--quiet") {
      quiet = true;
    } else {
      return UsageError("apply: unexpected argument '" + a + "'");
    }
  }
  if (hasInstallDir && installDir.empty()) return UsageError("apply: --install-dir is empty");

  std::unique_ptr<CPackageSource> source =
      packagePath.empty() ? NewEmbeddedPackageSource() : NewFilePackageSource(packagePath);
  CTerminalUi ui(answer);
  CPlatform platform;
  platform.files = DefaultFileSystem();
  platform.settings = DefaultSettings();
  platform.ui = &ui;
  platform.package = source.get();
  platform.threads = DefaultThreads();
  platform.trace = DefaultTrace();

  CPatchRun run(platform);
  if (hasInstallDir) run.PresetInstallFolder(WithTrailingSeparator(installDir));
  if (!run.Start(nullptr, kResultMessage)) {
    std::cerr << "mrpatch: cannot start the patch thread\n";
    return kExitFailed;
  }
  uintptr_t result = kResultFailed;
  while (!ui.WaitForResult(250, &result)) {
  }
  run.FinishOrExit(kExitFailed);
  const bool completed = result == kResultCompleted;
  if (!quiet) std::cerr << (completed ? " Patch is completed." : " Patch is failed.") << "\n";
  return completed ? kExitOk : kExitFailed;
}

int Inspect(const std::vector<std::string>& args) {
  std::string path;
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      std::cout << kInspectUsage;
      return kExitOk;
    }
    if (!path.empty()) return UsageError("inspect: more than one package given");
    path = a;
  }
  if (path.empty()) return UsageError("inspect: no package given");

  std::unique_ptr<CPackageSource> source = NewFilePackageSource(path);
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  if (source->Load(&data, &size) != CPackageSource::EFind::kLoaded || data == nullptr) {
    std::cerr << "mrpatch: " << path << ": cannot open the package\n";
    return kExitFailed;
  }
  const CPackageCheck check = ValidatePackage(data, size);
  if (!check.ok) {
    std::cerr << "mrpatch: " << path << ": " << check.Describe() << "\n";
    return kExitFailed;
  }
  std::cout << path << ": " << check.entries.size() << " entries, " << size << " bytes\n";
  for (size_t i = 0; i < check.entries.size(); ++i) {
    const CPackageEntryInfo& e = check.entries[i];
    std::cout << i << "\t" << e.name << "\tdata " << e.dataSize << "\tblocks "
              << e.packageBlocks << " package + " << e.localBlocks << " local\tnew size "
              << e.newFileSize << "\n";
  }
  return kExitOk;
}

}  // namespace

int RunMrpatch(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // A patcher with a package appended and no arguments applies it, asking as needed.
  if (args.empty()) return Apply(args);
  const std::string command = args[0];
  args.erase(args.begin());
  if (IsHelp(command)) {
    std::cout << kUsage;
    return kExitOk;
  }
  if (command == "--version") {
    std::cout << "mrpatch " << MRPATCH_VERSION << "\n";
    return kExitOk;
  }
  if (command == "apply") return Apply(args);
  if (command == "inspect") return Inspect(args);
  return UsageError("unknown command '" + command + "'");
}
