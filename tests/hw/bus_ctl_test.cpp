// BusCtl against the simulated clock selection of /dev/hal.
#include <gtest/gtest.h>

#include "hw/bus_ctl.h"
#include "hw/spi_ctrl.h"
#include "tests/hw/service_recorder.h"

namespace {

class BusCtlTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    spi = std::make_unique<spiCtrl>();
    bus = std::make_unique<BusCtl>(*spi);
    bus->bind(&port);
  }
  void TearDown() override {
    bus.reset();
    spi.reset();
    BoardTest::TearDown();
  }
  Lines clock_cfg(const std::string& fields) {
    EXPECT_TRUE(bus->OnCommand(parse_command("clockCfg : { " + fields + " }")));
    return port.take();
  }
  size_t selects() {
    size_t n = 0;
    for (const std::string& line : sim.command("log hal")) n += line.rfind("0x80044301", 0) == 0;
    return n;
  }

  std::unique_ptr<spiCtrl> spi;
  std::unique_ptr<BusCtl> bus;
};

TEST_F(BusCtlTest, ClockCfgChoosesTheSource) {
  struct Case {
    const char* fields;
    const char* answer;
    const char* clock;  // the source selected afterwards
  };
  const Case cases[] = {
      {"clkSel0 internal, bextEn enabled, source 2", "success", "4 freerun"},
      {"clkSel0 external, bextEn enabled, source 2", "success", "2 f2"},
      {"clkSel0 external, bextEn enabled, source -1", "success", "2 f2"},
      {"clkSel0 external, bextEn disabled, source 2", "success", "5 X3"},
      {"clkSel0 external, bextEn enabled, source 9", "error 10", "5 X3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    EXPECT_EQ(clock_cfg(c.fields), Lines{c.answer});
    EXPECT_EQ(sim.command("clock"), Lines{c.clock});
  }
  EXPECT_EQ(selects(), 4u) << "a negative source sends nothing";
  EXPECT_FALSE(bus->OnCommand(parse_command("ping : NULL")));
}

TEST_F(BusCtlTest, ConnectAndDisconnectSelectTheFreeRunningClock) {
  EXPECT_EQ(clock_cfg("clkSel0 external, bextEn enabled, source 1"), Lines{"success"});
  bus->OnConnect();
  EXPECT_EQ(sim.command("clock"), Lines{"4 freerun"});
  EXPECT_EQ(clock_cfg("clkSel0 external, bextEn enabled, source 1"), Lines{"success"});
  bus->OnDisconnect();
  EXPECT_EQ(sim.command("clock"), Lines{"4 freerun"});
  EXPECT_EQ(selects(), 4u);
}

TEST_F(BusCtlTest, DisabledControlRefusesAndNeverTouchesTheDevice) {
  bus->DisableControl();
  bus->OnConnect();
  EXPECT_EQ(clock_cfg("clkSel0 internal, bextEn enabled, source 0"), Lines{"error 6"});
  bus->OnDisconnect();
  EXPECT_EQ(sim.command("sessions hal"), Lines{"1"}) << "only the SPI service's";
  EXPECT_EQ(selects(), 0u);
}

TEST_F(BusCtlTest, MissingDeviceIsABusError) {
  ASSERT_EQ(sim.command("unplug hal"), Lines{"ok"});
  EXPECT_EQ(clock_cfg("clkSel0 internal, bextEn enabled, source 0"), Lines{"error 10"});
  ASSERT_EQ(sim.command("plug hal"), Lines{"ok"});
  EXPECT_EQ(clock_cfg("clkSel0 internal, bextEn enabled, source 0"), Lines{"success"});
}

TEST(ClockSourceName, NamesAndNumbers) {
  EXPECT_EQ(clock_source_name(0), "f0");
  EXPECT_EQ(clock_source_name(4), "freerun");
  EXPECT_EQ(clock_source_name(7), "?2");
  EXPECT_EQ(clock_source_name(9), "9");
}

}  // namespace
