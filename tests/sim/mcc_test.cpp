// The simulated multichannel HDLC controller, /dev/mcc/ctl, through the device seam.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/mcc_records.h"
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

  static std::string read_frame(const Fd& fd, int timeout_ms = 2000) {
    char buffer[1024];
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) != 1) return "<nothing>";
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    return n < 0 ? "<error>" : std::string(buffer, n);
  }

  BoardSim sim;
};

TEST_F(Mcc, FramesGoOutReceivedFramesComeInAndJoinedChannelsTalk) {
  int a, b;
  Fd fa = open_channel(0, a), fb = open_channel(0, b);
  ASSERT_TRUE(fa && fb);
  ASSERT_EQ(::write(fa.get(), "\x02\x01\x7f", 3), 3);
  EXPECT_EQ(sim.command("mcc sent " + std::to_string(a)), Lines{"02017f"});

  EXPECT_EQ(sim.command("mcc rx " + std::to_string(a) + " 0001ff00"), Lines{"ok"});
  EXPECT_EQ(read_frame(fa), std::string("\x00\x01\xff\x00", 4));

  EXPECT_EQ(sim.command("mcc join " + std::to_string(a) + " " + std::to_string(b)), Lines{"ok"});
  ASSERT_EQ(::write(fa.get(), "AB", 2), 2);
  ASSERT_EQ(::write(fb.get(), "C", 1), 1);
  EXPECT_EQ(read_frame(fb), "AB");
  EXPECT_EQ(read_frame(fa), "C");
  EXPECT_EQ(sim.command("mcc split " + std::to_string(b)), Lines{"ok"});
  ASSERT_EQ(::write(fa.get(), "D", 1), 1);
  sim.command("ping");
  EXPECT_EQ(read_frame(fb, 0), "<nothing>");
}

TEST_F(Mcc, JoinedSs7ChannelsGetTheOthersLastFisuOrLssuOnce) {
  int a, b, c;
  Fd fa = open_channel(3, a), fb = open_channel(3, b), fc = open_channel(0, c);
  ASSERT_TRUE(fa && fb && fc);
  // A: an LSSU SIO, an MSU, then a FISU; B: an LSSU SIN; C (LAPD) nothing of the kind.
  for (const std::string& unit : {std::string("\xff\xff\x01\x00", 4),
                                  std::string("\xff\x80\x03\x03\x01\x02", 6),
                                  std::string("\xff\x80\x00", 3)})
    ASSERT_EQ(::write(fa.get(), unit.data(), unit.size()), ssize_t(unit.size()));
  ASSERT_EQ(::write(fb.get(), "\xff\xff\x01\x01", 4), 4);
  ASSERT_EQ(::write(fc.get(), "\x00\x01\x7f", 3), 3);
  EXPECT_EQ(sim.command("mcc join " + std::to_string(a) + " " + std::to_string(b)), Lines{"ok"});
  EXPECT_EQ(read_frame(fb), std::string("\xff\x80\x00", 3));
  EXPECT_EQ(read_frame(fa), "\xff\xff\x01\x01");
  EXPECT_EQ(read_frame(fa, 0), "<nothing>");
  EXPECT_EQ(sim.command("mcc join " + std::to_string(a) + " " + std::to_string(c)), Lines{"ok"});
  EXPECT_EQ(read_frame(fc, 100), "<nothing>");
}

TEST_F(Mcc, CaptureIsReadByTheLapdAndMtp2Dissectors) {
  if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  int lapd, mtp2;
  Fd fl = open_channel(0, lapd), fm = open_channel(3, mtp2);
  ASSERT_TRUE(fl && fm);
  std::string path = sim.root() + "/capture.pcapng";
  ASSERT_EQ(sim.command("mcc capture " + path), Lines{"ok"});
  // Q.921 SABME, command, SAPI 0 TEI 0: 00 01 7f. Q.703 FISU: BSN 127 BIB 1, FSN 127 FIB 1, LI 0.
  ASSERT_EQ(::write(fl.get(), "\x00\x01\x7f", 3), 3);
  ASSERT_EQ(sim.command("mcc rx " + std::to_string(mtp2) + " ffff00"), Lines{"ok"});
  ASSERT_EQ(sim.command("mcc capture off"), Lines{"ok"});

  std::string out = sim.root() + "/tshark.txt";
  std::string cmd = "tshark -r " + path + " -T fields -e frame.interface_name -e lapd.control " +
                    "-e mtp2.li -e mtp2.fsn -e frame.p2p_dir > " + out + " 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* f = std::fopen(out.c_str(), "r");
  ASSERT_TRUE(f);
  char line[256];
  Lines lines;
  while (std::fgets(line, sizeof line, f)) lines.push_back(line);
  std::fclose(f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "mcc" + std::to_string(lapd) + "\t0x007f\t\t\t0\n");
  EXPECT_EQ(lines[1], "mcc" + std::to_string(mtp2) + "\t\t0\t127\t1\n");
}

}  // namespace
