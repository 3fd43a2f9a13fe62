// mrpatch embed: a self-contained patcher from a package (see cli/embed.h).

#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/embed.h"
#include "package/package_check.h"
#include "platform/platform.h"

namespace {

const char kEmbedUsage[] =
    "usage: mrpatch embed --package FILE -o OUT [--program EXE]\n"
    "\n"
    "Makes a self-contained patcher that carries the package. On Linux it is a copy of\n"
    "mrpatch (OUT, or OUT apply, patches with it); on Windows a copy of MRManualPatch.exe\n"
    "with the package as its data resource.\n"
    "  --package FILE   the package (validated first)\n"
    "  -o OUT           the patcher to write\n"
    "  --program EXE    the program to copy (default: this mrpatch on Linux,\n"
    "                   MRManualPatch.exe beside mrpatch.exe on Windows)\n";

}  // namespace

int RunEmbed(const CArgs& args) {
  std::string package;
  std::string output;
  std::string program;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) {
      std::cout << kEmbedUsage;
      return kExitOk;
    }
    std::string* target = a == "--package"                 ? &package
                          : (a == "-o" || a == "--output") ? &output
                          : a == "--program"               ? &program
                                                           : nullptr;
    if (target == nullptr) return UsageError("embed", "embed: unexpected argument '" + a + "'");
    if (!TakeValue(args, &i, target) || target->empty()) {
      return UsageError("embed", "embed: " + a + " needs a value");
    }
  }
  if (package.empty()) return UsageError("embed", "embed: no package given (--package FILE)");
  if (output.empty()) return UsageError("embed", "embed: no output given (-o OUT)");
  if (program.empty()) program = DefaultEmbedProgram();
  if (program.empty()) return Failure("cannot find the program to copy; name it with --program");

  {
    std::unique_ptr<CPackageSource> source = NewFilePackageSource(package);
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    if (source->Load(&data, &size) != CPackageSource::EFind::kLoaded || data == nullptr) {
      return Failure(package + ": cannot open the package");
    }
    const CPackageCheck check = ValidatePackage(data, size);
    if (!check.ok) return Failure(package + ": " + check.Describe());
  }
  const CResult r = EmbedPackage(program, package, output);
  if (!r.ok()) return Failure(r.message());
  std::cout << output << ": patcher written\n";
  return kExitOk;
}
