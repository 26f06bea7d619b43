#include "tests/support/orvexd_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/fd.h"
#include "base/path.h"

bool wait_file(const std::string& path, bool exists, int timeout_ms) {
  return wait_until([&] { return (::access(path.c_str(), F_OK) == 0) == exists; }, timeout_ms);
}

std::string OrvexdProcess::pid_file() { return Path::board("/var/run/server.pid"); }
std::string OrvexdProcess::output_path() const { return Path::board("/orvexd.out"); }

OrvexdProcess::~OrvexdProcess() {
  kill_detached();
  if (pid_ <= 0) return;
  int status;
  signal(SIGTERM);
  if (!wait_exit(status)) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void OrvexdProcess::kill_detached() {
  const pid_t daemon = std::atoi(read_file(pid_file()).c_str());
  if (daemon <= 1 || daemon == pid_) return;
  ::kill(daemon, SIGTERM);
  if (!wait_until([&] { return ::kill(daemon, 0) != 0; }, wait_ms)) ::kill(daemon, SIGKILL);
}

bool OrvexdProcess::start(const std::vector<std::string>& args,
                          const std::vector<std::string>& env) {
  std::vector<std::string> words{ORVEXD_PROGRAM};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env_words(env);
  Fd out(::open(output_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
  if (!out) return false;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (std::string& e : env_words) ::putenv(&e[0]);
    ::dup2(out.get(), STDOUT_FILENO);
    ::dup2(out.get(), STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = pid;
  return true;
}

std::string OrvexdProcess::output() const { return read_file(output_path()); }

bool OrvexdProcess::wait_output(const std::string& text, int timeout_ms) const {
  return wait_until([&] { return output().find(text) != std::string::npos; }, timeout_ms);
}

bool OrvexdProcess::wait_exit(int& status, int timeout_ms) {
  if (pid_ <= 0) return false;
  const bool ended = wait_until([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; },
                                timeout_ms);
  if (ended) pid_ = -1;
  return ended;
}

bool OrvexdProcess::run(const std::vector<std::string>& args, int& status) {
  return start(args) && wait_exit(status);
}

bool OrvexdProcess::signal(int sig) const { return pid_ > 0 && ::kill(pid_, sig) == 0; }
