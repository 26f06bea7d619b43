// OrvexdProcess: the daemon, orvexd, as a child process of a black-box test, on the board root
// in $ORVEXD_ROOT (a BoardSim's). Its standard output and error go to one file under the root,
// which the test reads. Every wait is bounded; the destructor kills and reaps whatever is left,
// including a daemon that detached itself (-D), found through its PID file. The child also dies
// with the thread that started it, so a crashing test leaves no daemon behind.
#pragma once

#include <poll.h>

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/temp_root.h"

class OrvexdProcess {
 public:
  // Bounds every wait on the daemon (start-up with sanitizers included).
  static constexpr int wait_ms = 10000;

  // The PID file under the root.
  static std::string pid_file();

  OrvexdProcess() = default;
  OrvexdProcess(const OrvexdProcess&) = delete;
  OrvexdProcess& operator=(const OrvexdProcess&) = delete;
  ~OrvexdProcess();

  // Starts orvexd with `args` and the environment of this process plus `env` ("NAME=value").
  bool start(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  // Waits until the output holds `text`.
  bool wait_output(const std::string& text, int timeout_ms = wait_ms) const;
  std::string output() const;
  // Waits until the child has ended; `status` as waitpid() gives it.
  bool wait_exit(int& status, int timeout_ms = wait_ms);
  // Runs orvexd to its end; false when it did not end in time.
  bool run(const std::vector<std::string>& args, int& status);
  bool signal(int sig) const;
  pid_t pid() const { return pid_; }

 private:
  std::string output_path() const;
  void kill_detached();

  pid_t pid_ = -1;
};

// Polls `done` every 10 ms until it holds or `timeout_ms` have passed.
template <class F>
bool wait_until(F done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::poll(nullptr, 0, 10);
  }
}

// Waits until `path` exists (or, with `exists` false, until it is gone).
bool wait_file(const std::string& path, bool exists, int timeout_ms);
