// The model of /dev/hal's switch, driven through the device seam.
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/mux_records.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;

class Models : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.ok()); }

  // The result of a record request, or -errno.
  template <class T>
  static int call(const Fd& fd, uint32_t request, T& record) {
    int r = Device::ioctl(fd.get(), request, &record, sizeof record);
    return r < 0 ? -errno : r;
  }

  BoardSim sim;
};

TEST_F(Models, SwitchKeepsWhatEachOutputCarries) {
  Fd hal(Device::open("/dev/hal", O_RDWR));
  ASSERT_TRUE(hal);
  mux_connect connect{8192, 5};
  mux_value constant{8193, 0xd5};
  mux_value low{12, 0x3c};
  mux_connect from_low{8194, 12};
  mux_disable off{8195};
  EXPECT_EQ(call(hal, MuxIoctl::kConnect, connect), 0);
  EXPECT_EQ(call(hal, MuxIoctl::kWrite, constant), 0);
  EXPECT_EQ(call(hal, MuxIoctl::kWrite, low), 0);
  EXPECT_EQ(call(hal, MuxIoctl::kConnect, from_low), 0);
  EXPECT_EQ(call(hal, MuxIoctl::kDisable, off), 0);

  struct Case {
    uint32_t output;
    Lines state;
    uint32_t read;
  } cases[] = {
      {8192, {"5"}, 0xff},            // input 5 carries nothing the switch knows
      {8193, {"const 0xd5"}, 0xd5},   // constant
      {12, {"const 0x3c"}, 0x3c},     // below the logical outputs
      {8194, {"12"}, 0x3c},           // connected to a channel that sends a constant
      {8195, {"off"}, 0xff},          // disabled
      {8196, {"error: switch output 8196 never set"}, 0xff},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    EXPECT_EQ(sim.command("switch " + std::to_string(c.output)), c.state);
    mux_value read{c.output, 0xff};
    EXPECT_EQ(call(hal, MuxIoctl::kRead, read), 0);
    EXPECT_EQ(read.value, c.read);
  }
}

}  // namespace
