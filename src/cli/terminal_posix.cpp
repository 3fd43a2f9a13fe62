#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal.h"

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

size_t TerminalColumns() {
  struct winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}
