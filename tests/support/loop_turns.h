// Turns of the event loop for tests. The loop clock is the test's (Mux::TestClock); none of
// these helpers ends the loop, so each leaves it as it found it.
#pragma once

// Runs `n` loop turns that never wait.
void turns(int n = 1);

// Moves the loop clock by `ms` and runs one turn, so that what fell due has fired.
void advance(unsigned ms);

// Runs one loop turn that may wait for another process (the simulated board): due timers,
// deferred calls, one poll of at most 20 ms and the handlers it found ready, then the timers and
// deferred calls those handlers made due.
void run_loop_turn();

// Runs loop turns that may wait (run_loop_turn) until `done` holds or `most` turns have run (200:
// 4 s of waiting at most); whether `done` holds.
template <class F>
bool turn_until(F done, int most = 200) {
  for (int i = 0; i < most && !done(); ++i) run_loop_turn();
  return done();
}
