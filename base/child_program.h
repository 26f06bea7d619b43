// Runs an external program as a child process (fork and execv) for the slots that hand their
// work to one: pppd and the fax programs of the modem slots, the T.38 program.
//
// The daemon's own signal handlers must never run in the child: a SIGTERM or SIGHUP that the
// daemon sends right after the start (a destroy that follows its create at once) would be used
// up by a handler that only wakes the daemon's loop, and the program would run on. So every
// signal is blocked across fork; the child puts every disposition back to the default and only
// then unblocks, so such a signal is delivered to the program (or ends the child) by its
// default action. The parent gets its own mask back.
//
// A child started with own_group leads a process group of its own (its pid is the group's id),
// so that whatever it starts in turn (a script's commands) can be ended with it in one kill of
// the group. Both sides call setpgid: whichever runs first, the group exists before the child
// execs and before the parent's spawn returns, so no signal to the group can miss it. The
// group is recorded (ChildGroups) before its leader goes on past the fork: a daemon killed at
// any moment leaves no unrecorded group. The program gets the group's mark in its environment
// (ChildGroups::kMarkName), which what it starts inherits. Whoever ends the group tells
// ChildGroups so.
//
// A program that cannot run is named on the child's standard error, with the reason, before the
// child ends with fail_code: "<fail_header>cannot run <path>: <reason>".
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
  // The child leads a new process group instead of joining the daemon's.
  bool own_group = false;
  // Opens the line that names a program that cannot run (a log header).
  std::string fail_header = {};
};

// The child's pid, or -1 with errno set when fork (or, for own_group, pipe2) failed. The child
// starts with an empty signal mask and the default dispositions, as a program run from a shell
// would, and ends with _exit.
int spawn(const ChildProgram& program);
