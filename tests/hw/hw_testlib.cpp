#include "tests/hw/hw_testlib.h"

#include "base/dpc.h"
#include "base/multiplexer.h"
#include "base/timer.h"

BoardSim& board() {
  static BoardSim sim{ORVEX_BINARY_DIR "/sim/orvex-boardsim"};
  return sim;
}

Lines log_tail(const std::string& device, size_t count) {
  Lines log = board().command("log " + device);
  if (log.size() > count) log.erase(log.begin(), log.end() - static_cast<std::ptrdiff_t>(count));
  return log;
}

Lines StreamCapture::take() {
  Lines lines;
  std::string line;
  while (std::getline(text_, line)) {
    // The loop's own line as run_loop_turn() ends it.
    if (line != "Mux: terminating...") lines.push_back(line);
  }
  text_.str("");
  text_.clear();
  return lines;
}

namespace {

// Ends the loop at its third deferred-call pass, that is after one poll and its dispatch.
struct TurnCounter {
  int passes = 0;
  void tick() {
    if (++passes == 3) multiplexer.terminate();
  }
  void nothing() {}
};

}  // namespace

void run_loop_turn() {
  TurnCounter counter;
  Dpc stop;
  stop.Bind(&counter, &TurnCounter::tick);
  stop.Activate();
  Timer limit;  // bounds the poll
  limit.set(20, &TurnCounter::nothing, &counter);
  multiplexer.run(false, true);
}
