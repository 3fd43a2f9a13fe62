#pragma once

// mrpatch, the command-line front end: parses the command line, runs one command and
// returns the process exit code (0 success, 1 failure, 2 usage error).
int RunMrpatch(int argc, char** argv);
