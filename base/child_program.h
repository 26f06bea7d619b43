// Runs an external program as a child process (fork and execv) for the slots that hand their
// work to one: pppd and the fax programs of the modem slots, the T.38 program.
//
// The daemon's own signal handlers must never run in the child: a SIGTERM or SIGHUP that the
// daemon sends right after the start (a destroy that follows its create at once) would be used
// up by a handler that only wakes the daemon's loop, and the program would run on. So every
// signal is blocked across fork; the child puts every disposition back to the default and only
// then unblocks, so such a signal is delivered to the program (or ends the child) by its
// default action. The parent gets its own mask back.
#pragma once

#include <string>
#include <vector>

struct ChildProgram {
  // The program's path first, then its arguments.
  std::vector<std::string> args;
  // A descriptor that becomes the child's standard input; -1 keeps the daemon's.
  int input = -1;
  // A descriptor that becomes the child's standard output; -1 keeps the daemon's.
  int output = -1;
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
