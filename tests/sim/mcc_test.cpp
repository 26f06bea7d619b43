// The capture of the simulated multichannel HDLC controller, /dev/mcc/ctl, read by tshark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/mcc_records.h"
#include "tests/support/command_output.h"
#include "tools/simctl/board_sim.h"

namespace {

using Lines = std::vector<std::string>;

using namespace MccIoctl;

class Mcc : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.ok()); }

  // A channel allocated in `mode`; its switch channel in `channel`.
  static Fd open_channel(uint32_t mode, int& channel) {
    Fd fd(Device::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK));
    mcc_allocation record{mode, 512, 0, 1, 4};
    if (!fd || Device::ioctl(fd.get(), kAllocate, &record, sizeof record) != 0) return Fd();
    channel = Device::ioctl(fd.get(), kTimeslot, 0ul);
    return fd;
  }

  BoardSim sim;
};

TEST_F(Mcc, CaptureIsReadByTheLapdAndMtp2Dissectors) {
  if (output_of("command -v tshark").empty()) GTEST_SKIP() << "tshark is not installed";
  int lapd, mtp2;
  Fd fl = open_channel(0, lapd), fm = open_channel(3, mtp2);
  ASSERT_TRUE(fl && fm);
  std::string path = sim.root() + "/capture.pcapng";
  ASSERT_EQ(sim.command("mcc capture " + path), Lines{"ok"});
  // Q.921 SABME, command, SAPI 0 TEI 0: 00 01 7f. Q.703 FISU: BSN 127 BIB 1, FSN 127 FIB 1, LI 0.
  ASSERT_EQ(::write(fl.get(), "\x00\x01\x7f", 3), 3);
  ASSERT_EQ(sim.command("mcc rx " + std::to_string(mtp2) + " ffff00"), Lines{"ok"});
  ASSERT_EQ(sim.command("mcc capture off"), Lines{"ok"});

  EXPECT_EQ(output_of("tshark -r " + path + " -T fields -e frame.interface_name -e lapd.control "
                      "-e mtp2.li -e mtp2.fsn -e frame.p2p_dir"),
            "mcc" + std::to_string(lapd) + "\t0x007f\t\t\t0\n" + "mcc" + std::to_string(mtp2) +
                "\t\t0\t127\t1\n");
}

}  // namespace
