// BusCtl behind a control server, against the simulated clock selection of /dev/hal.
#include <gtest/gtest.h>

#include "board/bus_ctl.h"
#include "board/spi_ctrl.h"
#include "tests/support/service_test.h"

namespace {

class BusCtlTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    spi = std::make_unique<spiCtrl>();
    bus = std::make_unique<BusCtl>(spi.get());
  }
  void destroy() override {
    bus.reset();
    spi.reset();
  }
  Lines clock_cfg(const std::string& fields) { return command("clockCfg : { " + fields + " }"); }
  size_t selects() {
    size_t n = 0;
    for (const std::string& line : sim.command("log hal")) n += line.rfind("0x80044301", 0) == 0;
    return n;
  }

  std::unique_ptr<spiCtrl> spi;
  std::unique_ptr<BusCtl> bus;
};

TEST_F(BusCtlTest, ClockCfgChoosesTheSourceAndDisconnectFreeRuns) {
  connect({bus.get()});
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
  EXPECT_EQ(selects(), 5u) << "connect selects freerun; a negative source sends nothing";
  disconnect();
  EXPECT_EQ(sim.command("clock"), Lines{"4 freerun"});
  EXPECT_EQ(selects(), 6u);
}

TEST_F(BusCtlTest, MissingDeviceIsABusError) {
  ASSERT_EQ(sim.command("unplug hal"), Lines{"ok"});
  connect({bus.get()});
  EXPECT_EQ(clock_cfg("clkSel0 internal, bextEn enabled, source 0"), Lines{"error 10"});
  ASSERT_EQ(sim.command("plug hal"), Lines{"ok"});
  EXPECT_EQ(clock_cfg("clkSel0 internal, bextEn enabled, source 0"), Lines{"success"});
}

}  // namespace
