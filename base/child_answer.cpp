#include "base/child_answer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "base/fd.h"
#include "base/multiplexer.h"

namespace {

// The wait is on a real process, so it runs on the real monotonic clock, not the loop's.
using Clock = std::chrono::steady_clock;

// How long to nap between two looks at a program that closed its output but has not ended yet.
constexpr int kExitNapMs = 1;

// Milliseconds left until `deadline`, 0 when it has passed.
int left_until(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// poll(2) for input on `fd`, with the watchdog pinged around the wait.
int wait_for(int fd, int ms) {
  pollfd entry{fd, POLLIN, 0};
  multiplexer.resetWD();
  const int r = ::poll(&entry, 1, ms);
  const int err = errno;
  multiplexer.resetWD();
  errno = err;
  return r;
}

struct Output {
  std::string line;
  bool printed = false;  // anything at all, an empty line included
  bool ended = false;    // the program closed its output, usually by ending
};

// Reads the pipe until the end of the output or the deadline; keeps the first line.
Output read_output(const Fd& from, Clock::time_point deadline, size_t max_length) {
  Output out;
  bool line_done = false;
  for (;;) {
    char chunk[256];
    const ssize_t n = ::read(from.get(), chunk, sizeof chunk);
    if (n > 0) {
      out.printed = true;
      for (ssize_t i = 0; i < n && !line_done; ++i) {
        line_done = chunk[i] == '\n' || out.line.size() >= max_length;
        if (!line_done) out.line += chunk[i];
      }
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      out.ended = true;
      return out;
    }
    const int left = left_until(deadline);
    if (left == 0) return out;
    if (wait_for(from.get(), left) < 0 && errno != EINTR) {
      out.ended = true;
      return out;
    }
  }
}

// Reaps `pid`, killing it when it has not ended by the deadline. True when it ended by itself.
bool reap(int pid, Clock::time_point deadline) {
  int status;
  for (;;) {
    const int r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return true;
    if (r == 0 && left_until(deadline) == 0) break;
    if (r == 0) ::poll(nullptr, 0, kExitNapMs);
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return false;
}

}  // namespace

ChildAnswer ChildAnswer::ask(ChildProgram program, unsigned limit_ms, size_t max_length) {
  ChildAnswer answer;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return answer;
  Fd from(ends[0]);
  Fd to(ends[1]);
  // Only our end waits without blocking: the program writes to an ordinary pipe.
  if (!from.NonBlock()) return answer;
  program.output = to.get();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
  const int pid = spawn(program);
  to.close();
  if (pid < 0) return answer;
  Output out = read_output(from, deadline, max_length);
  const bool ended = reap(pid, deadline);
  answer.line = std::move(out.line);
  if (out.printed) {
    answer.outcome = kLine;
  } else {
    answer.outcome = out.ended && ended ? kNoLine : kTimedOut;
  }
  return answer;
}
