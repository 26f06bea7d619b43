// Trunk channel slots on orvexd and the simulated board: the controller creates E1 and BRI
// trunk slots, learns their switch channels, connects and destroys them, and the simulator's
// switch table shows what the hardware carries. Losing the controller frees every path; so does
// the start of a daemon after one that was killed. A board restarted under the daemon refuses
// the paths of later connections, and the connections are refused with them.
#include <signal.h>

#include "tests/e2e/daemon_on_board.h"

namespace {

using TrunkSlots = DaemonOnBoard;

TEST_F(TrunkSlots, CreateConnectDestroyAndLoseTheController) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : trunk : { trunk 1, timeslot 5 } }"),
            wire(success(1, 1)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 1, pdu signal : transmitter : active : 37 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 1, pdu signal : receiver : active : 37 }"));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 3, timeslot 2 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 2, pdu signal : transmitter : active : 14 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 2, pdu signal : receiver : active : 14 }"));

  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : connect : 1 }"), wire(success(4, 2)));
  EXPECT_EQ(output(14), "37");
  EXPECT_EQ(output(37), "14");

  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : destroy : NULL }"), wire(success(5, 1)));
  EXPECT_EQ(output(37), "const 0xd5");
  EXPECT_EQ(answer("{ seq 6, slot 1, pdu command : connect : 2 }"),
            wire("{ seq 6, slot 1, pdu response : error : slotNotExists }"));

  EXPECT_EQ(answer("{ seq 7, slot 3, pdu command : create : trunk : { trunk 2, timeslot 0 } }"),
            wire(success(7, 3)));
  EXPECT_EQ(answer("{ seq 8, slot 3, pdu command : connect : 2 }"), wire(success(8, 3)));
  EXPECT_EQ(output(14), "64");

  // A lost controller: every slot goes, and with it every path.
  ctl_.close();
  attach();
  EXPECT_EQ(answer("{ seq 9, slot 3, pdu command : destroy : NULL }"),
            wire("{ seq 9, slot 3, pdu response : error : slotNotExists }"));
  EXPECT_EQ(output(14), "const 0xd5");
  EXPECT_EQ(daemon_.output().find("trunk-slot: "), std::string::npos);
}

// Trunk 0/1 and 1/1 connected both ways, the daemon killed: the paths stay on the board until
// the next daemon starts, which idles every trunk output before it serves a command.
TEST_F(TrunkSlots, ADaemonStartedAfterAKilledOneIdlesTheTrunkOutputs) {
  succeed({"{ slot 1, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
           "{ slot 2, pdu command : create : trunk : { trunk 1, timeslot 1 } }",
           "{ slot 1, pdu command : connect : 2 }", "{ slot 2, pdu command : connect : 1 }"});
  ASSERT_EQ(output(1), "33");
  ASSERT_EQ(output(33), "1");

  ASSERT_TRUE(daemon_.signal(SIGKILL));
  int status = 0;
  ASSERT_TRUE(daemon_.wait_exit(status));
  ctl_.close();
  EXPECT_EQ(output(1), "33");
  EXPECT_EQ(output(33), "1");

  port_ = free_port();
  ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
  ASSERT_TRUE(daemon_.wait_output("Starting server"));
  EXPECT_EQ(output(1), "const 0xd5");
  EXPECT_EQ(output(33), "const 0xd5");
  attach();
}

// After the board restarts under the daemon, the switch refuses every request on the daemon's
// old descriptor: a connection whose path the switch does not make is answered connectFail, a
// trunk feeding a signalling link's channel as well as one trunk feeding another, and the
// switch's failures leave one line a kind, however many connections are tried.
TEST_F(TrunkSlots, ABoardRestartedUnderTheDaemonFailsTheConnections) {
  succeed({"{ slot 1, pdu command : create : pstn : ss7 : { trunk 1, slc 0, dpc 1, opc 2, "
           "emergency FALSE } }",
           "{ slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }",
           "{ slot 3, pdu command : create : trunk : { trunk 0, timeslot 2 } }"});
  ASSERT_TRUE(board_.restart());

  const struct {
    int slot, sink;
  } connections[] = {{2, 1}, {2, 3}, {3, 1}};
  for (int round = 0; round < 20; ++round) {
    for (const auto& c : connections) {
      SCOPED_TRACE(std::to_string(c.slot) + " -> " + std::to_string(c.sink));
      const std::string n = std::to_string(++seq_sent_), slot = std::to_string(c.slot);
      EXPECT_EQ(answer("{ seq " + n + ", slot " + slot + ", pdu command : connect : " +
                       std::to_string(c.sink) + " }"),
                wire("{ seq " + n + ", slot " + slot + ", pdu response : error : connectFail }"));
    }
  }
  const std::string out = daemon_.output();
  size_t lines = 0;
  for (size_t at = out.find("hwMux: "); at != std::string::npos; at = out.find("hwMux: ", at + 1))
    ++lines;
  // init, the device opened, then one line for each kind of failure: connect, disconnect.
  EXPECT_LE(lines, 4u) << out;
  EXPECT_NE(out.find("hwMux: connect "), std::string::npos) << out;
}

}  // namespace
