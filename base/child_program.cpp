#include "base/child_program.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/child_groups.h"
#include "base/ipc_signal.h"

extern char** environ;

namespace {

void say(const char* line) {
  if (!line) return;
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// In the child, with every signal blocked: the default disposition for each signal (SIGKILL
// and SIGSTOP refuse, and keep it anyway), then an empty mask.
void default_signals() {
  for (int sig = 1; sig < NSIG; ++sig) IPC::Signal::system(sig);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// In the child: descriptor `fd` (when given) becomes the standard descriptor `target`, open
// across the exec.
void become(int fd, int target) {
  if (fd == target) {
    ::fcntl(fd, F_SETFD, 0);
  } else if (fd >= 0) {
    ::dup2(fd, target);
  }
}

// The daemon's environment with `entry` ("NAME=value") in place of any entry of that name.
std::vector<char*> environment_with(std::string& entry) {
  const size_t name = entry.find('=') + 1;
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, entry.c_str(), name) != 0) env.push_back(*e);
  }
  env.push_back(&entry[0]);
  env.push_back(nullptr);
  return env;
}

}  // namespace

int spawn(const ChildProgram& program) {
  std::vector<char*> argv;
  for (const auto& a : program.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // Made before the fork: the child only adds the reason.
  const std::string cannot_run =
      program.fail_header + "cannot run " + (argv[0] ? argv[0] : "") + ": ";
  // A group's leader waits on `held` until its group is recorded: a daemon killed in between
  // leaves no group that the next start cannot find. The leader ends when the daemon dies first.
  int held[2] = {-1, -1};
  if (program.own_group && ::pipe2(held, O_CLOEXEC) != 0) return -1;
  // A group's programs carry its mark, which no later group's can.
  const std::string mark = program.own_group ? ChildGroups::new_mark() : "";
  std::string mark_entry = std::string(ChildGroups::kMarkName) + '=' + mark;
  const std::vector<char*> env =
      program.own_group ? environment_with(mark_entry) : std::vector<char*>{};
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &saved);
  const int child = ::fork();
  if (child != 0) {
    const int error = errno;
    if (child > 0 && program.own_group) {
      ::setpgid(child, child);
      ChildGroups::record(child, mark);
      const char recorded = 1;
      (void)!::write(held[1], &recorded, 1);
    }
    if (program.own_group) {
      ::close(held[0]);
      ::close(held[1]);
    }
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return child;
  }

  if (program.own_group) {
    ::setpgid(0, 0);
    ::close(held[1]);
    char recorded = 0;
    if (::read(held[0], &recorded, 1) != 1) ::_exit(program.fail_code);
    ::close(held[0]);
  }
  default_signals();
  become(program.input, 0);
  become(program.output, 1);
  if (program.delay_s) ::sleep(program.delay_s);
  say(program.start_line);
  ::execve(argv[0], argv.data(), program.own_group ? env.data() : environ);
  const int error = errno;
  say(program.fail_line);
  std::fprintf(stderr, "%s%s\n", cannot_run.c_str(), std::strerror(error));
  std::fflush(stderr);
  ::_exit(program.fail_code);
}
