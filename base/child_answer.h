// ChildAnswer: asks an external program a question and reads the first line of its answer,
// without waiting longer than a given time.
//
// The program is started with spawn (child_program.h) as the leader of a process group of its
// own, its standard output on a non-blocking pipe. The caller's thread waits for the line, then
// for the program's end, until the time limit; the watchdog is pinged around each wait, so the
// limit is the longest the event loop stands still. Then the whole group is killed (SIGKILL):
// a program still running at the limit, and whatever the program started and left running (a
// script's commands), however it ended. The program is reaped before ask() returns, unless it is
// still dying kKillWaitMs after the kill; the child-wait service reaps it then.
#pragma once

#include <cstddef>
#include <string>

#include "base/child_program.h"

struct ChildAnswer {
  enum Outcome {
    kLine,        // the program printed a line, or the start of one: `line` holds it
    kNoLine,      // the program closed its output without printing anything
    kTimedOut,    // nothing printed within the limit
    kNotStarted,  // no pipe or no fork
  };

  // The longest wait for the program's end after the kill, beyond the limit.
  static constexpr unsigned kKillWaitMs = 100;

  // Runs `program` (its `output` is replaced by the pipe) and waits at most `limit_ms`.
  static ChildAnswer ask(ChildProgram program, unsigned limit_ms, size_t max_length);

  Outcome outcome = kNotStarted;
  // What came before the first newline, at most max_length characters.
  std::string line;
};
