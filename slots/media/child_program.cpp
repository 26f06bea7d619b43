#include "slots/media/child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace {

void say(const char* line) {
  if (!line) return;
  std::printf("%s\n", line);
  std::fflush(stdout);
}

}  // namespace

int spawn(const ChildProgram& program) {
  std::vector<char*> argv;
  for (const auto& a : program.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int child = ::fork();
  if (child != 0) return child;

  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int s : {SIGHUP, SIGTERM, SIGINT, SIGPIPE, SIGCHLD, SIGUSR1, SIGUSR2}) signal(s, SIG_DFL);
  if (program.input == 0) {
    ::fcntl(0, F_SETFD, 0);
  } else if (program.input > 0) {
    ::dup2(program.input, 0);
  }
  if (program.delay_s) ::sleep(program.delay_s);
  say(program.start_line);
  ::execv(argv[0], argv.data());
  say(program.fail_line);
  ::_exit(program.fail_code);
}
