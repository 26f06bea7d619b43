// The simulated E1 maintenance and CAS devices through the device seam.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/e1_records.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;

using namespace MaintenanceIoctl;
using namespace CasIoctl;

class E1Devices : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.ok()); }
  BoardSim sim;
};

TEST_F(E1Devices, cas_channelsOpenReportBitsAndRefuseWhatTheDriverWould) {
  Fd fd(Device::open("/dev/e1-cas", O_RDWR | O_NONBLOCK));
  ASSERT_TRUE(fd);
  cas_channel_op op{{1, 5, 0, 0x1b, {0, 0}}, kCasOpenChannel};
  errno = 0;
  EXPECT_EQ(Device::ioctl(fd.get(), kChannelOp, &op, sizeof op), -1) << "trunk not open";
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(Device::ioctl(fd.get(), kOpenTrunk, 4ul), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(Device::ioctl(fd.get(), kOpenTrunk, 1ul), 0);
  EXPECT_EQ(sim.command("cas trunk 1"), Lines{"open"});

  cas_channel_op on16{{1, 16, 0, 0, {0, 0}}, kCasOpenChannel};
  EXPECT_EQ(Device::ioctl(fd.get(), kChannelOp, &on16, sizeof on16), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(Device::ioctl(fd.get(), kChannelOp, &op, sizeof op), 0);
  EXPECT_EQ(sim.command("cas channel 1 5"), Lines{"open rx=0x00 tx=0x0b"});

  ASSERT_EQ(sim.command("cas rx 1 5 9"), Lines{"ok"});
  cas_channel event{};
  pollfd p{fd.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  ASSERT_EQ(::read(fd.get(), &event, sizeof event), 12);
  EXPECT_EQ(event.trunk, 1u);
  EXPECT_EQ(event.timeslot, 5u);
  EXPECT_EQ(event.rx, 9);
  EXPECT_EQ(event.tx, 0xb);
  ASSERT_EQ(sim.command("cas rx 1 5 9"), Lines{"ok"});
  sim.command("ping");
  EXPECT_EQ(::poll(&p, 1, 0), 0) << "no event without a change";

  cas_channel bits{1, 5, 0, 3, {0, 0}};
  EXPECT_EQ(Device::ioctl(fd.get(), kSetBits, &bits, sizeof bits), 0);
  cas_channel got{1, 5, 0, 0, {0, 0}};
  EXPECT_EQ(Device::ioctl(fd.get(), kGetBits, &got, sizeof got), 0);
  EXPECT_EQ(got.rx, 9);
  EXPECT_EQ(got.tx, 3);

  EXPECT_EQ(Device::ioctl(fd.get(), kCloseTrunk, 1ul), 0);
  EXPECT_EQ(sim.command("cas channel 1 5"), Lines{"closed rx=0x09"});
  EXPECT_EQ(Device::ioctl(fd.get(), kGetBits, &got, sizeof got), -1);
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(sim.command("log e1-cas")[2], "0x80044300 open-trunk 1");
}

}  // namespace
