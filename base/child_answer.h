// ChildAnswer: asks an external program a question and reads the first line of its answer,
// without waiting longer than a given time.
//
// The program is started with spawn (child_program.h), its standard output on a non-blocking
// pipe. The caller's thread waits for the line, then for the program's end, until the time
// limit; the watchdog is pinged around each wait, so the limit is the longest the event loop
// stands still. A program still running at the limit is killed (SIGKILL). Either way the child
// is reaped before ask() returns: no zombie is left, and the child-wait service never sees it.
#pragma once

#include <cstddef>
#include <string>

#include "base/child_program.h"

struct ChildAnswer {
  enum Outcome {
    kLine,        // the program printed a line, or the start of one: `line` holds it
    kNoLine,      // the program ended without printing anything
    kTimedOut,    // nothing printed within the limit; the program was killed
    kNotStarted,  // no pipe or no fork
  };

  // Runs `program` (its `output` is replaced by the pipe) and waits at most `limit_ms`.
  static ChildAnswer ask(ChildProgram program, unsigned limit_ms, size_t max_length);

  Outcome outcome = kNotStarted;
  // What came before the first newline, at most max_length characters.
  std::string line;
};
