// Trunk channel slots on orvexd and the simulated board: the controller creates E1 and BRI
// trunk slots, learns their switch channels, connects and destroys them, and the simulator's
// switch table shows what the hardware carries. Losing the controller frees every path.
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

}  // namespace
