// Map, extension and echo channel slots: the switch channels they name, who owns a logical
// channel, the extension's receiver opening and closing, and the echo creates always refused.
#include <gtest/gtest.h>

#include "slots/tdm/echo_factory.h"
#include "slots/tdm/ext_factory.h"
#include "slots/tdm/map_factory.h"
#include "slots/tdm/trunk_factory.h"
#include "tests/slots_tdm/slot_road.h"

namespace {

class ChannelRoad : public SlotRoad {
 protected:
  static void SetUpTestSuite() {
    SlotRoad::SetUpTestSuite();
    MapFactory::instance();
    ExtFactory::instance();
    EchoFactory::instance();
    LinkTrunkFactories();
  }
  // Slot 9, a trunk slot on switch channel 1, connected as the source of `sink`.
  std::vector<std::string> feed(int sink) {
    run({"{ seq 8, slot 9, pdu command : create : trunk : { trunk 0, timeslot 1 } }"});
    return run({"{ seq 9, slot 9, pdu command : connect : " + std::to_string(sink) + " }"});
  }
};

struct Map {
  const char* name;
  const char* params;
  std::vector<std::string> signals;  // after the success response
  const char* as_sink;               // the answer to connecting a source into it
};

TEST_F(ChannelRoad, MapSlotsNameLogicalChannels) {
  for (const Map& m : {
           Map{"transmitter",
               "{ transmitter { bus 1, channel 5 } }",
               {stream(1, "transmitter", 8325)},
               "error : connectFail"},
           Map{"receiver",
               "{ receiver { bus 15, channel 127 } }",
               {stream(1, "receiver", 10239)},
               "success : NULL"},
           Map{"neither", "{ }", {}, "error : connectFail"},
           Map{"one channel both ways",
               "{ transmitter { bus 0, channel 7 }, receiver { bus 0, "
               "channel 7 } }",
               {stream(1, "receiver", 8199), stream(1, "transmitter", 8199)},
               "success : NULL"},
       }) {
    SCOPED_TRACE(m.name);
    StreamCapture err(std::cerr);
    std::vector<std::string> expected{reply(1, 1, "success : NULL")};
    expected.insert(expected.end(), m.signals.begin(), m.signals.end());
    EXPECT_EQ(
        run({std::string("{ seq 1, slot 1, pdu command : create : map : ") + m.params + " }"}),
        wires(expected));
    EXPECT_EQ(feed(1).back(), wire(reply(9, 9, m.as_sink)));
    run({"{ seq 2, slot 1, pdu command : destroy : NULL }",
         "{ seq 3, slot 9, pdu command : destroy : NULL }"});
    // No eviction, no release of a channel the slot did not hold.
    EXPECT_EQ(err.take().find("map-slot"), std::string::npos);
  }
}

TEST_F(ChannelRoad, MapReleaseDisablesTheReceiver) {
  run({"{ seq 1, slot 1, pdu command : create : map : { receiver { bus 15, channel 127 } } }"});
  feed(1);
  EXPECT_EQ(output(10239), "1");
  StreamCapture log(std::clog);
  run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
  EXPECT_NE(log.take().find("map: disable map channel 2047\n"), std::string::npos);
  EXPECT_EQ(output(10239), "off");
}

TEST_F(ChannelRoad, MapCreateOnATakenChannelDestroysTheOlderSlot) {
  StreamCapture err(std::cerr);
  run({"{ seq 1, slot 1, pdu command : create : map : { transmitter { bus 0, channel 3 } } }"});
  EXPECT_EQ(run({"{ seq 2, slot 2, pdu command : create : map : { receiver { bus 0, channel 3 "
                 "} } }"}),
            wires({reply(2, 2, "success : NULL"), stream(2, "receiver", 8195)}));
  EXPECT_EQ(err.take(),
            "map-slot: two slots require the same ipc-slot, remove old.\n"
            "new slot na:map <-> old slot 01:map\n");
  EXPECT_EQ(run({"{ seq 3, slot 1, pdu command : destroy : NULL }"}),
            wires({reply(3, 1, "error : slotNotExists")}));
  // Freed with slot 2, the channel is taken again without a word.
  run({"{ seq 4, slot 2, pdu command : destroy : NULL }",
       "{ seq 5, slot 3, pdu command : create : map : { transmitter { bus 0, channel 3 } } }"});
  EXPECT_EQ(err.take(), "");
}

TEST_F(ChannelRoad, ExtensionReceiverOpensWithActivate) {
  EXPECT_EQ(run({"{ seq 1, slot 1, pdu command : create : ext : { transmitter 4, receiver 6 } }"}),
            wires({reply(1, 1, "success : NULL"), stream(1, "transmitter", 8196)}));
  EXPECT_EQ(feed(1).back(), wire(reply(9, 9, "error : connectFail")));
  EXPECT_EQ(run({"{ seq 2, slot 1, pdu command : activate : empty : NULL }"}),
            wires({stream(1, "receiver", 8198), reply(2, 1, "success : NULL")}));
  EXPECT_EQ(output(8198), "const 0xd5");
  EXPECT_EQ(run({"{ seq 3, slot 9, pdu command : connect : 1 }"}),
            wires({reply(3, 9, "success : NULL")}));
  EXPECT_EQ(output(8198), "1");
  EXPECT_EQ(run({"{ seq 4, slot 1, pdu command : deactivate : NULL }"}),
            wires({signal(1, "receiver : inactive : NULL"), reply(4, 1, "success : NULL")}));
  EXPECT_EQ(output(8198), "off");
  EXPECT_EQ(run({"{ seq 5, slot 9, pdu command : connect : 1 }"}),
            wires({reply(5, 9, "error : connectFail")}));
}

// Numbers that name no extension port, on E1 trunk 0's channels (0, 7) or beyond the switch,
// make no slot; the first and last ports do.
TEST_F(ChannelRoad, ExtensionNumbersOutsideThePortsAreRefused) {
  struct Ext {
    int transmitter, receiver;
    const char* error;  // the line on std::cerr; null when the slot is made
  };
  for (const Ext& e : {Ext{-8192, 4, "ext: no extension port -8192, the ports are 0 to 2047\n"},
                       Ext{4, -8185, "ext: no extension port -8185, the ports are 0 to 2047\n"},
                       Ext{2048, 4, "ext: no extension port 2048, the ports are 0 to 2047\n"},
                       Ext{2147483647, -2147483648,
                           "ext: no extension port 2147483647, the ports are 0 to 2047\n"},
                       Ext{0, 2047, nullptr}}) {
    const std::string create = "{ seq 1, slot 1, pdu command : create : ext : { transmitter " +
                               std::to_string(e.transmitter) + ", receiver " +
                               std::to_string(e.receiver) + " } }";
    SCOPED_TRACE(create);
    StreamCapture err(std::cerr);
    EXPECT_EQ(run({create}).front(),
              wire(reply(1, 1, e.error ? "error : insufficientResources" : "success : NULL")));
    EXPECT_EQ(err.take(), e.error ? e.error : "");
    run({"{ seq 2, slot 1, pdu command : destroy : NULL }"});
    advance(1000);  // past the throttle of the line
  }
}

TEST_F(ChannelRoad, EchoCreatesAreRefusedAndNoBusIsReported) {
  StreamCapture err(std::cerr);
  EXPECT_EQ(run({"{ seq 1, slot 1, pdu command : create : echo : { bus 0, channel 1 } }"}),
            wires({reply(1, 1, "error : insufficientResources")}));
  EXPECT_EQ(err.take(), "echo: no echo bus 0\n");
  LGCP::Resources report;
  EchoFactory::instance().Query(report);
  EXPECT_EQ(report.get_echoBus().size(), 0u);
}

}  // namespace
