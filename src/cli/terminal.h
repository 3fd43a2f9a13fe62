#pragma once

// What the command-line front end needs to know about its terminal.

#include <cstddef>

bool StdinIsTerminal();
bool StderrIsTerminal();
// Columns of the terminal on standard error; 80 when unknown.
size_t TerminalColumns();
