// The board services with their device gone and back: each is served again without a restart.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "board/bus_ctl.h"
#include "board/e1_ctl.h"
#include "board/hw_tests.h"
#include "board/spi_ctrl.h"
#include "hw/hw_mux.h"
#include "tests/support/service_test.h"
#include "tests/support/stream_capture.h"

namespace {

class LostDevicesTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    mux = std::make_unique<HwMux>();
    tests = std::make_unique<HwTests>(*mux);
    spi = std::make_unique<spiCtrl>();
    bus = std::make_unique<BusCtl>(spi.get());
    e1 = std::make_unique<E1Ctl>();
    connect({tests.get(), bus.get(), e1.get()});
    take();
  }
  void destroy() override {
    e1.reset();
    bus.reset();
    spi.reset();
    tests.reset();
    mux.reset();
  }
  std::string board(const std::string& command) { return sim.command(command).at(0); }
  std::string board(int output) { return board("switch " + std::to_string(output)); }

  std::unique_ptr<HwMux> mux;
  std::unique_ptr<HwTests> tests;
  std::unique_ptr<spiCtrl> spi;
  std::unique_ptr<BusCtl> bus;
  std::unique_ptr<E1Ctl> e1;
};

TEST_F(LostDevicesTest, EachServiceServesItsDeviceAgainOnceItIsBack) {
  int rx = 0, output = 8700, master = 1;  // new at each use
  // Paths that live slots hold, inside and outside the table: the switch opened again keeps
  // them, and does not make later the one it refused.
  ASSERT_TRUE(mux->Connect(5, 8600));
  ASSERT_TRUE(mux->Connect(6, 100));
  struct Row {
    const char *name, *device;
    std::function<Lines()> use;  // what the controller and the board show
    Lines gone, served;          // the first use once the device went away, and once it is back
  };
  const Row rows[] = {
      {"switch", "hal",
       [&] {
         ++output;
         return Lines{mux->Connect(9, output) ? "connected" : "refused",
                      command("testBpc : { bus 2, seed 3, mode write : NULL, timeslot-start 0, "
                              "timeslot-length 1 }").at(0),
                      board(8600), board(100), board(8701), board(output)};
       },
       {"refused", "error 10", "5", "6", "off", "off"},
       {"connected", "success", "5", "6", "const 0xd5", "9"}},
      {"SPI", "hal",
       [&] {
         spi->clock(++master);
         return Lines{board("spi get " + std::to_string(master) + " 0x57"),
                      spi->present() ? "present" : "absent"};
       },
       {"0x30", "present"}, {"0x38", "present"}},
      {"clock", "hal",
       [&] {
         return Lines{command("clockCfg : { clkSel0 external, bextEn enabled, source 2 }").at(0),
                      board("clock")};
       },
       {"error 10", "4 freerun"}, {"success", "2 f2"}},
      {"E1 line status and TCLK", "maintenance",
       [&] {
         Lines seen = command("trunkCfg : { trunk 1, mode slave }");
         seen.push_back(board("maintenance tclk"));
         seen.push_back(std::to_string(take(1000).size()) + " status reports");
         return seen;
       },
       {"error 10", "0x00", "0 status reports"},
       {"success", "0x02", "4 status reports"}},
      {"CAS", "e1-cas",
       [&] {
         Lines seen = command("ioctl : cas : { channel { path 1, timeslot 5 }, cmd open : 9 }");
         EXPECT_EQ(sim.command("cas rx 1 5 " + std::to_string(++rx)), Lines{"ok"});
         for (const std::string& line : take()) seen.push_back(line);
         return seen;
       },
       {"cas 1/0 rx=-1 tx=0", "success"}, {"cas 1/0 rx=0 tx=0", "cas 1/5 rx=1 tx=9", "success", "cas 1/5 rx=2 tx=9"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    take(1000);  // a second later: the lines of the row before are not held back
    StreamCapture errors(std::cerr);
    ASSERT_EQ(sim.command(std::string("unplug ") + row.device), Lines{"ok"});
    EXPECT_EQ(row.use(), row.gone);
    ASSERT_EQ(sim.command(std::string("plug ") + row.device), Lines{"ok"});
    EXPECT_EQ(row.use(), row.served);
    const std::string device = std::string("device /dev/") + row.device + ": ";
    Lines said;
    for (const std::string& line : errors.take_lines())
      if (line.rfind(device, 0) == 0) said.push_back(line.substr(device.size()));
    EXPECT_EQ(said, (Lines{"gone: No such device; closed until it is back", "opened again"}));
  }
}

}  // namespace
