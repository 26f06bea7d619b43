// Test helpers of the board services: a ServicePort that records the answers and signals, each
// as one line of text, and a fixture that runs them against a simulated board on the loop's
// test clock.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/timer.h"
#include "hw/service_port.h"
#include "tests/base/multiplexer_probe.h"
#include "tools/simctl/board_sim.h"

using Lines = std::vector<std::string>;

class ServiceRecorder : public ServicePort {
 public:
  void Success() override { lines.push_back("success"); }
  void Error(LGCP::ErrorCause::NamedNumber cause) override {
    lines.push_back("error " + std::to_string(cause));
  }
  // "cas T/TS rx=R tx=X", "trunk T state=S slips=N bf=N carrier=N ais=N rai=N type=Y",
  // or the alternative's name.
  void SendSignal(const LGCP::Signal& signal) override {
    std::string line;
    if (signal.is_cas()) {
      const LGCP::CasSignalling& c = signal.get_cas();
      line = "cas " + std::to_string(c.get_channel().get_path().getValue()) + "/" +
             std::to_string(c.get_channel().get_timeslot().getValue()) +
             " rx=" + std::to_string(c.get_rx().getValue()) +
             " tx=" + std::to_string(c.get_tx().getValue());
    } else if (signal.is_trunkStatus()) {
      const ACP::TrunkStatus& s = signal.get_trunkStatus();
      line = "trunk " + std::to_string(s.get_trunk().getValue()) +
             " state=" + s.get_state().getName() +
             " slips=" + std::to_string(s.get_slips().getValue()) +
             " bf=" + std::to_string(s.get_lossBF().getValue()) +
             " carrier=" + std::to_string(s.get_lossCarrier().getValue()) +
             " ais=" + std::to_string(s.get_lossAIS().getValue()) +
             " rai=" + std::to_string(s.get_lossRAI().getValue()) +
             " type=" + s.get_type().getName() +
             (s.get_clockMaster().getValue() ? " master" : "");
    } else {
      line = signal.getSelectionName();
    }
    lines.push_back(line);
  }

  // The lines recorded since the last take().
  Lines take() { return std::move(lines); }

  Lines lines;
};

// A simulated board, and the loop on the test clock.
class BoardTest : public LoopTest {
 protected:
  void SetUp() override {
    LoopTest::SetUp();
    ASSERT_TRUE(sim.ok());
    // A loop with nothing to wait for takes itself for hung; this timer outlasts every test.
    awake_.set(3600 * 1000, &BoardTest::stay_awake, this);
  }
  void TearDown() override {
    awake_.reset();
    LoopTest::TearDown();
  }
  // Runs one loop turn without waiting, after moving the clock by `ms`.
  static void turn(unsigned ms = 0) {
    Mux::TestClock::advance_ms(ms);
    MultiplexerProbe::turn();
  }

  BoardSim sim{ORVEX_BINARY_DIR "/sim/orvex-boardsim"};
  ServiceRecorder port;

 private:
  void stay_awake() {}
  Timer awake_;
};

// The command written in value notation; a parse failure fails the test.
inline LGCP::Command parse_command(const std::string& value_notation) {
  LGCP::Command command;
  std::istringstream in(value_notation);
  EXPECT_TRUE(in >> command) << value_notation;
  return command;
}
