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

namespace {

class LostDevicesTest : public ServiceTest {
 protected:
  // The front ends, destroyed in the reverse order.
  struct Board {
    HwMux mux;
    HwTests tests{mux};
    spiCtrl spi;
    BusCtl bus{&spi};
    E1Ctl e1;
  };
  void SetUp() override {
    ServiceTest::SetUp();
    b = std::make_unique<Board>();
    connect({&b->tests, &b->bus, &b->e1});
  }
  void destroy() override { b.reset(); }
  std::string board(const std::string& command) { return sim.command(command).at(0); }
  std::string board(int output) { return board("switch " + std::to_string(output)); }

  std::unique_ptr<Board> b;
};

TEST_F(LostDevicesTest, EachServiceServesItsDeviceAgainOnceItIsBack) {
  int rx = 0, output = 8700, master = 1;  // new at each use
  // Paths held in and outside the table: kept by the reopened switch, unlike one it refused.
  ASSERT_TRUE(b->mux.Connect(5, 8600));
  ASSERT_TRUE(b->mux.Connect(6, 100));
  const struct {
    const char *name, *device;
    std::function<Lines()> use;  // what the controller and the board show
    Lines gone, served;          // the first use once the device went away, and once it is back
  } rows[] = {
      {"switch", "hal", [&] {
         return Lines{b->mux.Connect(9, ++output) ? "connected" : "refused",
                      command("testBpc : { bus 2, seed 3, mode write : NULL, timeslot-start 0, "
                              "timeslot-length 1 }").at(0),
                      board(8600), board(100), board(8701), board(output)};
       }, {"refused", "error 10", "5", "6", "off", "off"},
       {"connected", "success", "5", "6", "const 0xd5", "9"}},
      {"SPI", "hal", [&] {
         b->spi.clock(++master);
         return Lines{board("spi get " + std::to_string(master) + " 0x57")};
       }, {"0x30"}, {"0x38"}},
      {"clock", "hal", [&] {
         return Lines{command("clockCfg : { clkSel0 external, bextEn enabled, source 2 }").at(0),
                      board("clock")};
       }, {"error 10", "4 freerun"}, {"success", "2 f2"}},
      {"E1 status reports and TCLK", "maintenance", [&] {
         Lines seen = command("trunkCfg : { trunk 1, mode slave }");
         seen.insert(seen.end(), {board("maintenance tclk"), std::to_string(take(1000).size())});
         return seen;
       }, {"error 10", "0x00", "0"}, {"success", "0x02", "4"}},
      {"CAS", "e1-cas", [&] {
         Lines seen = command("ioctl : cas : { channel { path 1, timeslot 5 }, cmd open : 9 }");
         sim.command("cas rx 1 5 " + std::to_string(++rx));
         for (const std::string& line : take()) seen.push_back(line);
         return seen;
       }, {"cas 1/0 rx=-1 tx=0", "success"},
       {"cas 1/0 rx=0 tx=0", "cas 1/5 rx=1 tx=9", "success", "cas 1/5 rx=2 tx=9"}},
  };
  for (const auto& row : rows) {
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
