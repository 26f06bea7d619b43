// E1Ctl behind a control server, against the simulated maintenance and CAS devices: the status
// poll, the TCLK mask and the CAS commands, with the requests the devices receive and what the
// controller receives.
#include <gtest/gtest.h>

#include "board/e1_ctl.h"
#include "tests/support/service_test.h"

namespace {

class E1CtlTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    e1 = std::make_unique<E1Ctl>();
  }
  void destroy() override { e1.reset(); }
  void connect() { ServiceTest::connect({e1.get()}); }
  Lines cas(int trunk, int timeslot, const std::string& cmd) {
    return command("ioctl : cas : { channel { path " + std::to_string(trunk) + ", timeslot " +
                   std::to_string(timeslot) + " }, cmd " + cmd + " }");
  }
  size_t tclk_requests() {
    size_t n = 0;
    for (const std::string& line : sim.command("log maintenance")) n += line.rfind("0xc0044d0b", 0) == 0;
    return n;
  }

  std::unique_ptr<E1Ctl> e1;
};

const char* const kNormal = " state=normal slips=0 bf=0 carrier=0 ais=0 rai=0 type=e1";

TEST_F(E1CtlTest, ConnectReportsEveryTrunkThenEverySecondUntilDisconnect) {
  ASSERT_EQ(sim.command("maintenance status 1 2 3 4 5 6 7"), Lines{"ok"});
  ASSERT_EQ(sim.command("maintenance status 3 99"), Lines{"ok"});
  connect();
  const Lines reports{std::string("trunk 0") + kNormal,
                      "trunk 1 state=lossCarrier slips=3 bf=4 carrier=5 ais=6 rai=7 type=e1",
                      std::string("trunk 2") + kNormal,
                      "trunk 3 state=unknown slips=0 bf=0 carrier=0 ais=0 rai=0 type=e1"};
  EXPECT_EQ(take(), reports);
  EXPECT_EQ(sim.command("maintenance tclk"), Lines{"0x00"});

  EXPECT_TRUE(take(999).empty());
  EXPECT_EQ(take(1), reports);
  EXPECT_EQ(take(1000), reports);

  disconnect();
  turn(5000);
  EXPECT_EQ(sim.command("log maintenance").size(), 3 * 4 + 1u) << "no poll without a controller";
}

TEST_F(E1CtlTest, FailedStatusReadSkipsThatTrunk) {
  ASSERT_EQ(sim.command("fail maintenance 0xc0504d03 EIO"), Lines{"ok"});
  connect();
  Lines lines = take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 7), "trunk 1");
}

TEST_F(E1CtlTest, MissingMaintenanceDeviceSendsNothing) {
  ASSERT_EQ(sim.command("unplug maintenance"), Lines{"ok"});
  connect();
  EXPECT_TRUE(take(1000).empty());
  EXPECT_EQ(command("trunkCfg : { trunk 1, mode slave }"), Lines{"error 10"});
  EXPECT_EQ(command("trunkCfg : { trunk -1, mode slave }"), Lines{"success"}) << "nothing to send";
}

TEST_F(E1CtlTest, TrunkCfgSetsAndClearsBitsAndConnectStartsFromZero) {
  connect();
  take();
  struct Case {
    const char* command;
    const char* mask;  // what the device holds afterwards
    size_t requests;   // TCLK requests so far
    bool refused = false;  // the driver refuses the TCLK request
  };
  const Case cases[] = {
      {"trunkCfg : { trunk 2, mode slave }", "0x04", 2},
      {"trunkCfg : { trunk 31, mode slave }", "0x80000004", 3},
      {"trunkCfg : { trunk 2, mode master }", "0x80000000", 4},
      {"trunkCfg : { trunk -1, mode slave }", "0x80000000", 4},
      {"trunkCfg : { trunk 32, mode slave }", "0x80000000", 4},
      {"trunkCfg : { trunk 1, mode slave }", "0x80000000", 5, true},
      {"trunkCfg : { trunk 0, mode slave }", "0x80000001", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (c.refused) sim.command("fail maintenance 0xc0044d0b EIO");
    EXPECT_EQ(command(c.command), Lines{c.refused ? "error 10" : "success"});
    EXPECT_EQ(sim.command("maintenance tclk"), Lines{c.mask});
    EXPECT_EQ(tclk_requests(), c.requests);
  }
  ASSERT_EQ(sim.command("fail maintenance 0xc0044d0b EIO"), Lines{"ok"});
  disconnect();
  reconnect();
  EXPECT_EQ(e1->tclk_mask(), 0x80000001u) << "a refused reset leaves the mask the device holds";
  disconnect();
  reconnect();
  EXPECT_EQ(sim.command("maintenance tclk"), Lines{"0x00"});
  EXPECT_EQ(e1->tclk_mask(), 0u);
}

TEST_F(E1CtlTest, CasCommandsReportEachResult) {
  connect();
  take();
  struct Case {
    const char* name;
    int trunk, timeslot;
    const char* cmd;
    Lines signals;
  };
  const Case cases[] = {
      {"trunk out of range", 4, 1, "open : 5", {}},
      {"get before open", 1, 5, "get : NULL", {}},
      {"open time slot 16 opens the trunk only", 1, 16, "open : 5", {"cas 1/0 rx=0 tx=0"}},
      {"open a channel", 1, 5, "open : 27", {"cas 1/0 rx=0 tx=0", "cas 1/5 rx=0 tx=11"}},
      {"set is an open", 1, 6, "set : 3", {"cas 1/0 rx=0 tx=0", "cas 1/6 rx=0 tx=3"}},
      {"get", 1, 5, "get : NULL", {"cas 1/5 rx=0 tx=11"}},
      {"driver refuses a channel", 1, 40, "open : 1", {"cas 1/0 rx=0 tx=0", "cas 1/40 rx=-1 tx=0"}},
      {"close a channel", 1, 5, "close : NULL", {"cas 1/5 rx=-1 tx=1"}},
      {"close a channel not open", 1, 5, "close : NULL", {"cas 1/5 rx=-1 tx=0"}},
      {"close the trunk reports 1", 1, 0, "close : NULL", {"cas 1/0 rx=1 tx=0"}},
      {"close a channel of a closed trunk", 1, 6, "close : NULL", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lines expected = c.signals;
    expected.push_back("success");
    EXPECT_EQ(cas(c.trunk, c.timeslot, c.cmd), expected);
  }
  EXPECT_EQ(sim.command("cas trunk 1"), Lines{"closed"});

  ASSERT_EQ(sim.command("fail e1-cas 0x80044300 EIO"), Lines{"ok"});
  EXPECT_EQ(cas(2, 1, "open : 1"), (Lines{"cas 2/0 rx=-1 tx=0", "success"}));
  EXPECT_EQ(sim.command("cas trunk 2"), Lines{"closed"});
}

TEST_F(E1CtlTest, ReceivedBitChangesBecomeSignals) {
  connect();
  take();
  cas(0, 3, "open : 0");
  ASSERT_EQ(sim.command("cas rx 0 3 10"), Lines{"ok"});
  EXPECT_EQ(take(), Lines{"cas 0/3 rx=10 tx=0"});
}

TEST_F(E1CtlTest, CommandsItDoesNotServeAndAMissingCasDevice) {
  ASSERT_EQ(sim.command("unplug e1-cas"), Lines{"ok"});
  connect();
  take();
  EXPECT_EQ(command("ioctl : echoSuppressor : TRUE"), Lines{"error 4"})
      << "falls through every service";
  EXPECT_EQ(command("ioctl : cas : { channel { path 0, timeslot 1 }, cmd get : NULL }"),
            Lines{"error 10"});
  ASSERT_EQ(sim.command("plug e1-cas"), Lines{"ok"});
  EXPECT_EQ(cas(0, 1, "get : NULL"), Lines{"success"}) << "opened again on the next command";
}

}  // namespace
