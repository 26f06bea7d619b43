// The cost of one log line as the daemon writes them (a switch refusal: text, numbers and an
// error text, ended by std::endl), into /dev/null: BM_LogLine/line_buffered through
// LineStreamBuf, which the daemon's standard streams use, one write(2) per line;
// BM_LogLine/stdio_stderr through the library's default std::clog on an unbuffered standard
// error, one write(2) per insertion (eight for this line).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "base/fd.h"
#include "base/line_stream_buf.h"

namespace {

void log_line(std::ostream& out, int i) {
  out << "hwMux: connect " << i << " -> " << 8192 + (i & 2047)
      << " failed: " << std::strerror(EINVAL) << std::endl;
}

void BM_LogLine(benchmark::State& state, bool line_buffered) {
  Fd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (line_buffered) {
    LineStreamBuf buf(null.get());
    std::ostream out(&buf);
    out << std::unitbuf;
    int i = 0;
    for (auto _ : state) log_line(out, i++);
    return;
  }
  // std::clog as the library sets it up, with standard error on /dev/null for the run.
  Fd saved(::dup(STDERR_FILENO));
  ::dup2(null.get(), STDERR_FILENO);
  int i = 0;
  for (auto _ : state) log_line(std::clog, i++);
  ::dup2(saved.get(), STDERR_FILENO);
}

BENCHMARK_CAPTURE(BM_LogLine, line_buffered, true);
BENCHMARK_CAPTURE(BM_LogLine, stdio_stderr, false);

}  // namespace

BENCHMARK_MAIN();
