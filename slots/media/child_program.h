// Runs an external program as a child process (fork and execv) for the slots that hand their
// work to one: pppd and the fax programs of the modem slots, the T.38 program.
#pragma once

#include <string>
#include <vector>

struct ChildProgram {
  // The program's path first, then its arguments.
  std::vector<std::string> args;
  // A descriptor that becomes the child's standard input; -1 keeps the daemon's.
  int input = -1;
  // Waits this long in the child first.
  unsigned delay_s = 0;
  // Printed on the child's standard output before the exec, and when the exec fails.
  const char* start_line = nullptr;
  const char* fail_line = nullptr;
  // The child's exit code when the program cannot run.
  int fail_code = 2;
};

// The child's pid, or -1 with errno set when fork failed. The child starts with an empty signal
// mask and the default dispositions, as a program run from a shell would, and ends with _exit.
int spawn(const ChildProgram& program);
