// SimControl: a client of the simulated board's control socket (DIR/sim.ctl): one command line
// out, its reply back, whether the reply is one line or a list. BoardSim and orvex-simctl use it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/fd.h"

// Waits for `fd` to be readable until `deadline`; false on timeout or a poll error.
bool readable_until(int fd, std::chrono::steady_clock::time_point deadline);

class SimControl {
 public:
  // Connects to the control socket at `path`; false (and error()) when it cannot.
  bool connect(const std::string& path);
  void close();
  bool connected() const { return static_cast<bool>(socket_); }
  const std::string& error() const { return error_; }

  // Sends one control line and returns its reply: the reply line, or the lines of a list
  // without the closing ".". A simulator that does not answer within `timeout_ms` gives one
  // line "error: ...", and the connection is closed.
  std::vector<std::string> command(const std::string& line, int timeout_ms);

 private:
  std::vector<std::string> lost(const std::string& why);

  Fd socket_;
  std::string input_;
  std::string error_;
  unsigned sequence_ = 0;
};
