// The simulated DSP data driver, /dev/dsp-data, through the device seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/dsp_data_records.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;
using namespace DspDataIoctl;

TEST(DspData, DChannelsFramesAndBearerChannels) {
  BoardSim sim;
  ASSERT_TRUE(sim.ok());
  Fd a(Device::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  Fd b(Device::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  ASSERT_TRUE(a && b);
  int32_t out = -1;
  EXPECT_EQ(Device::ioctl(a.get(), kChannelId, &out, sizeof out), 1280);
  EXPECT_EQ(out, 1280);
  EXPECT_EQ(Device::ioctl(b.get(), kChannelId, 0ul), 1284);

  // Frames: one write is one frame sent; an injected frame reaches every open D channel.
  ASSERT_EQ(::write(a.get(), "\x00\x01\x7f", 3), 3);
  EXPECT_EQ(sim.command("dsp-data sent"), Lines{"00017f"});
  EXPECT_EQ(sim.command("dsp-data rx 0203"), Lines{"ok"});
  for (const Fd* fd : {&a, &b}) {
    pollfd p{fd->get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    char buffer[16];
    EXPECT_EQ(::read(fd->get(), buffer, sizeof buffer), 2);
  }

  // Bearer channels (the QSIG slot tests cover the rest): an index above 2 is refused.
  dsp_data_bchannel r{3, -1};
  EXPECT_EQ(Device::ioctl(a.get(), kAddB, &r, sizeof r), -1);
  r.index = 2;
  EXPECT_EQ(Device::ioctl(a.get(), kAddB, &r, sizeof r), 0);
  EXPECT_EQ(r.timeslot, 1283);

  // A closed D channel frees its number for the next open.
  a = Fd();
  sim.command("ping");
  Fd c(Device::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  EXPECT_EQ(Device::ioctl(c.get(), kChannelId, 0ul), 1280);
}

}  // namespace
