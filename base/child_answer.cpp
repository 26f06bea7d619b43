#include "base/child_answer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "base/child_groups.h"
#include "base/fd.h"
#include "base/log_throttle.h"
#include "base/multiplexer.h"

namespace {

// The wait is on a real process, so it runs on the real monotonic clock, not the loop's.
using Clock = std::chrono::steady_clock;

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

// Whether `fd` is readable by the deadline.
bool readable_by(int fd, Clock::time_point deadline) {
  for (;;) {
    const int r = wait_for(fd, left_until(deadline));
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
  }
}

struct Output {
  std::string line;
  bool printed = false;  // anything at all, an empty line included
  bool ended = false;    // the program closed its output, usually by ending
};

// Reads the pipe until the first line is complete, the end of the output or the deadline.
Output read_output(const Fd& from, Clock::time_point deadline, size_t max_length) {
  Output out;
  for (;;) {
    char chunk[256];
    const ssize_t n = ::read(from.get(), chunk, sizeof chunk);
    if (n > 0) {
      out.printed = true;
      for (ssize_t i = 0; i < n; ++i) {
        if (chunk[i] == '\n' || out.line.size() >= max_length) return out;
        out.line += chunk[i];
      }
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      out.ended = true;
      return out;
    }
    if (!readable_by(from.get(), deadline)) return out;
  }
}

// A descriptor that becomes readable when `pid` ends (pidfd_open(2), non-blocking and
// close-on-exec); closed when the kernel gives none. Called through syscall(2): the C library's
// <sys/pidfd.h> of Debian 12 declares pidfd_open without C linkage for C++. The failure's line is
// throttled: a kernel without pidfd_open fails every question, and questions come at the
// controller's rate.
Fd end_of(int pid) {
  Fd end(static_cast<int>(::syscall(SYS_pidfd_open, pid, O_NONBLOCK)));
  if (!end) {
    const int error = errno;
    static LogThrottle throttle;
    throttle.write(std::cerr, [&](std::ostream& os) {
      os << "child answer: pidfd_open: " << std::strerror(error)
         << "; the program is killed as soon as it has answered";
    });
  }
  return end;
}

// Kills the group that `pid` leads, then reaps `pid` if it has ended within kKillWaitMs.
//
// The group's id is the leader's pid, which no other process can take while the leader is not
// reaped: so the group is killed before the leader is reaped, never after, and only its own
// members are hit, those that outlive the leader too. The child-wait service does not reap it
// meanwhile, since it runs on the loop, which is waiting here.
void end_group(int pid, const Fd& end) {
  if (::kill(-pid, SIGKILL) == 0) {
    ChildGroups::ended(pid);
  } else {
    const int error = errno;
    std::cerr << "child answer: kill of group " << pid << ": " << std::strerror(error)
              << std::endl;
    // Gone, it has ended; any other failure leaves its record for the next start.
    if (error == ESRCH) ChildGroups::ended(pid);
  }
  if (end) {
    readable_by(end.get(),
                Clock::now() + std::chrono::milliseconds(ChildAnswer::kKillWaitMs));
  }
  int status;
  while (::waitpid(pid, &status, WNOHANG) < 0 && errno == EINTR) {
  }
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
  program.own_group = true;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
  const int pid = spawn(program);
  to.close();
  if (pid < 0) return answer;
  const Fd end = end_of(pid);
  Output out = read_output(from, deadline, max_length);
  // A program that answered is given the rest of the limit to end by itself.
  if (end) readable_by(end.get(), deadline);
  end_group(pid, end);
  answer.line = std::move(out.line);
  if (out.printed) {
    answer.outcome = kLine;
  } else {
    answer.outcome = out.ended ? kNoLine : kTimedOut;
  }
  return answer;
}
