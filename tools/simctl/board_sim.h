// BoardSim: a simulated board (orvex-boardsim) running as a child process on a fresh temporary
// root, for tests and tools. The constructor makes the root, points $ORVEXD_ROOT of this
// process at it and waits (bounded) until the simulator is ready; the destructor stops it
// (SIGTERM, then SIGKILL if it lingers), reaps it, removes the tree and restores $ORVEXD_ROOT.
// The child also dies with the thread that started it, so a crashing test leaks no simulator.
//
// BoardSim ignores SIGPIPE in this process, as the daemon does: a write on a simulated device
// whose writes were made to fail (`fail DEVICE write EPIPE`) must fail, not kill.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "tools/simctl/sim_control.h"

class BoardSim {
 public:
  // The simulator built with this tree.
  static std::string default_binary();

  explicit BoardSim(std::string binary = default_binary());
  ~BoardSim();
  BoardSim(const BoardSim&) = delete;
  BoardSim& operator=(const BoardSim&) = delete;

  // True once the simulator is running and ready.
  bool ok() const { return pid_ > 0; }
  // The root directory ($ORVEXD_ROOT).
  const std::string& root() const { return root_; }
  pid_t pid() const { return pid_; }

  // Sends one control line and returns its reply: the reply line, or the lines of a list
  // without the closing ".". A simulator that does not answer within 5 s gives one line
  // "error: ...".
  std::vector<std::string> command(const std::string& line);

  // Stops the simulator and starts a new one on the same root, as after a crash of the board.
  bool restart();

 private:
  bool start();
  void stop();
  bool connect_control();

  std::string binary_;
  std::string root_;
  bool had_root_ = false;
  std::string old_root_;
  pid_t pid_ = -1;
  SimControl control_;
};
