#include "cli/cli.h"

#include <iostream>

#include "cli/commands.h"

namespace {

const char kUsage[] =
    "usage: mrpatch <command> [options]\n"
    "\n"
    "commands:\n"
    "  apply     apply a patch package to an installed client\n"
    "  inspect   validate a package and list its entries\n"
    "  digest    print the archive index digest of archives\n"
    "  build     make a package from an old and a new client folder\n"
    "  embed     make a self-contained patcher that carries a package\n"
    "\n"
    "'mrpatch <command> --help' shows a command's options; 'mrpatch --version' the version.\n"
    "Without a command, a patcher that carries a package applies it.\n";

}  // namespace

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int UsageError(const std::string& command, const std::string& message) {
  std::cerr << "mrpatch: " << message << "\n";
  std::cerr << "Try 'mrpatch " << (command.empty() ? "" : command + " ") << "--help'.\n";
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::cerr << "mrpatch: " << message << "\n";
  return kExitFailed;
}

bool TakeValue(const CArgs& args, size_t* i, std::string* value) {
  if (*i + 1 >= args.size()) return false;
  *value = args[++*i];
  return true;
}

int RunMrpatch(int argc, char** argv) {
  CArgs args(argv + 1, argv + argc);
  if (args.empty()) return RunApply(args);
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
  if (command == "apply") return RunApply(args);
  if (command == "inspect") return RunInspect(args);
  if (command == "digest") return RunDigest(args);
  if (command == "build") return RunBuild(args);
  if (command == "embed") return RunEmbed(args);
  return UsageError("", "unknown command '" + command + "'");
}
