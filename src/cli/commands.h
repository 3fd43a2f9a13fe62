#pragma once

// The commands of mrpatch. Each takes the arguments after its name and returns the process
// exit code. Errors go to standard error as one line naming the file and the problem.

#include <string>
#include <vector>

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

using CArgs = std::vector<std::string>;

int RunApply(const CArgs& args);
int RunInspect(const CArgs& args);
int RunDigest(const CArgs& args);
int RunBuild(const CArgs& args);
int RunEmbed(const CArgs& args);

// Helpers shared by the commands.
bool IsHelp(const std::string& arg);
// "mrpatch: <message>" and a hint to `mrpatch <command> --help`; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);
// "mrpatch: <message>"; returns kExitFailed.
int Failure(const std::string& message);
// Takes the value of option args[*i] into `*value`; false when it is missing.
bool TakeValue(const CArgs& args, size_t* i, std::string* value);
