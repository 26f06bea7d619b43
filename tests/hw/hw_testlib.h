// Helpers of the hardware front-end tests: the simulated board they all share, and captures of
// the standard log and error streams.
//
// The front ends keep their device descriptors for the life of the process and the device seam
// sends every request to the simulator under the current root, so a test process runs one
// simulator for all its tests: board() starts it on first use.
#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/simctl/board_sim.h"

using Lines = std::vector<std::string>;

BoardSim& board();

// The newest `count` lines of the request log of `device`.
Lines log_tail(const std::string& device, size_t count);

// Runs one turn of the event loop: due timers, deferred calls, one poll of at most 20 ms and
// the handlers it found ready.
void run_loop_turn();

// Collects what is written on a stream while it lives.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream)
      : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}
  ~StreamCapture() { stream_.rdbuf(old_); }
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  // The lines written so far, but the loop's "Mux: terminating...", and forgets them.
  Lines take();

 private:
  std::ostream& stream_;
  std::stringstream text_;
  std::streambuf* old_;
};
