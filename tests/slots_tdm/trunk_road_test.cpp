// Trunk channel slots end to end, on the road of tests/slots_tdm/slot_road.h.
#include <gtest/gtest.h>

#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

class TrunkRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    ASSERT_EQ(LinkTrunkFactories(), 12);
  }
};

TEST_F(TrunkRoad, CreateOverTheSameTimeSlotEvictsTheOldSlot) {
  StreamCapture err(std::cerr);
  run({"{ seq 1, slot 10, pdu command : create : trunk : { trunk 0, timeslot 0 } }",
       "{ seq 2, slot 20, pdu command : create : trunk : { trunk 2, timeslot 3 } }",
       "{ seq 3, slot 20, pdu command : connect : 10 }"});
  EXPECT_EQ(output(0), "67");
  EXPECT_EQ(run({"{ seq 4, slot 11, pdu command : create : trunk : { trunk 0, timeslot 0 } }"}),
            wires({reply(4, 11, "success : NULL"), stream(11, "transmitter", 0),
                   stream(11, "receiver", 0)}));
  EXPECT_EQ(err.take(),
            "trunk-slot: two slots require the same timeslot, remove old.\n old slot 10:trunk\n");
  // The evicted slot left the switch and the registry.
  EXPECT_EQ(output(0), "const 0xd5");
  EXPECT_EQ(run({"{ seq 5, slot 10, pdu command : destroy : NULL }"}),
            wires({reply(5, 10, "error : slotNotExists")}));
  // A freed time slot is taken again without a word.
  run({"{ seq 6, slot 11, pdu command : destroy : NULL }",
       "{ seq 7, slot 12, pdu command : create : trunk : { trunk 0, timeslot 0 } }"});
  EXPECT_EQ(err.take(), "");
}

TEST_F(TrunkRoad, Refusals) {
  run({"{ seq 1, slot 1, pdu command : create : trunk : { trunk 3, timeslot 31 } }"});
  const char* const none = "error : insufficientResources";
  const struct {
    int slot;
    const char* pdu;
    const char* answer;
  } cases[] = {
      {2, "create : trunk_bri : { trunk 0, timeslot 4 }", none},
      {2, "create : trunk : { trunk 4, timeslot 0 }", none},
      {2, "create : trunk_bri : { trunk 8, timeslot 0 }", none},
      {1, "activate : empty : NULL", "error : unsupported"},
      {1, "deactivate : NULL", "error : unsupported"},
      {1, "connect : 1", "success : NULL"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run({"{ seq 2, slot " + std::to_string(c.slot) + ", pdu command : " + c.pdu + " }"}),
              wires({reply(2, c.slot, c.answer)}))
        << c.pdu;
  }
}

}  // namespace
