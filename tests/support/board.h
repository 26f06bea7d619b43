// The simulated board that the tests of the board's front ends and services share.
//
// The front ends keep their device descriptors for the life of the process and the device seam
// sends every request to the simulator under the current root, so a test process runs one
// simulator for all its tests: board() starts it on first use.
#pragma once

#include <string>

#include "tests/support/loop_turns.h"
#include "tests/support/stream_capture.h"
#include "tools/simctl/board_sim.h"

BoardSim& board();

// The newest `count` lines of the request log of `device`.
Lines log_tail(const std::string& device, size_t count);

// The number of the newest /dev/rtp_ext session (the simulator numbers them in order of opening).
std::string newest_ext_session();
