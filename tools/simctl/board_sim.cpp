#include "tools/simctl/board_sim.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Bounds on every wait for the child: starting up (with sanitizers), answering, stopping.
constexpr std::chrono::seconds kStartTime{10};
constexpr std::chrono::seconds kAnswerTime{5};
constexpr std::chrono::seconds kStopTime{5};

// Reads the child's stdout until its line "ready".
bool wait_ready(int out, Clock::time_point deadline) {
  std::string text;
  char buffer[256];
  while (text.find("ready\n") == std::string::npos) {
    if (!readable_until(out, deadline)) return false;
    ssize_t n = ::read(out, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.append(buffer, n);
  }
  return true;
}

}  // namespace

std::string BoardSim::default_binary() { return ORVEX_BOARDSIM; }

BoardSim::BoardSim(std::string binary) : binary_(std::move(binary)) {
  std::signal(SIGPIPE, SIG_IGN);
  char pattern[] = "/tmp/orvex-board-XXXXXX";
  if (!::mkdtemp(pattern)) {
    std::cerr << "BoardSim: mkdtemp: " << std::strerror(errno) << std::endl;
    return;
  }
  root_ = pattern;
  const char* old = std::getenv("ORVEXD_ROOT");
  had_root_ = old != nullptr;
  if (old) old_root_ = old;
  ::setenv("ORVEXD_ROOT", root_.c_str(), 1);
  start();
}

BoardSim::~BoardSim() {
  stop();
  if (root_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
  if (had_root_) {
    ::setenv("ORVEXD_ROOT", old_root_.c_str(), 1);
  } else {
    ::unsetenv("ORVEXD_ROOT");
  }
}

bool BoardSim::restart() {
  stop();
  return start();
}

bool BoardSim::start() {
  int out[2];
  if (root_.empty() || ::pipe2(out, O_CLOEXEC) != 0) return false;
  Fd reader(out[0]), writer(out[1]);
  std::string root_option = "--root=" + root_;
  char* argv[] = {const_cast<char*>(binary_.c_str()), const_cast<char*>(root_option.c_str()),
                  nullptr};
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    std::cerr << "BoardSim: fork: " << std::strerror(errno) << std::endl;
    return false;
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(writer.get(), STDOUT_FILENO);
    ::execv(argv[0], argv);
    ::_exit(127);
  }
  pid_ = pid;
  writer.close();
  if (!wait_ready(reader.get(), Clock::now() + kStartTime) || !connect_control()) {
    std::cerr << "BoardSim: " << binary_ << " did not start on " << root_ << std::endl;
    stop();
    return false;
  }
  return true;
}

void BoardSim::stop() {
  control_.close();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  auto deadline = Clock::now() + kStopTime;
  while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      break;
    }
    ::poll(nullptr, 0, 5);
  }
  pid_ = -1;
}

bool BoardSim::connect_control() { return control_.connect(root_ + "/sim.ctl"); }

std::vector<std::string> BoardSim::command(const std::string& line) {
  // After a lost connection the next command connects again; without one, SimControl answers
  // "error: no simulator".
  if (!control_.connected() && pid_ > 0) connect_control();
  return control_.command(line, static_cast<int>(kAnswerTime.count() * 1000));
}
