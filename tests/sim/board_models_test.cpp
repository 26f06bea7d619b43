// The models of /dev/hal's switch and /dev/dtmf, driven through the device seam.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/mux_records.h"
#include "hw/tonec_records.h"
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
  static int call_value(const Fd& fd, uint32_t request, unsigned long value) {
    int r = Device::ioctl(fd.get(), request, value);
    return r < 0 ? -errno : r;
  }

  static std::string read_record(const Fd& fd) {
    char buffer[64];
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    return n < 0 ? "<" + std::string(std::strerror(errno)) + ">" : std::string(buffer, n);
  }

  template <class T>
  static std::string bytes(const T& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
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

TEST_F(Models, DtmfEventsAreOneRecordPerRead) {
  Fd dtmf(Device::open("/dev/dtmf", O_RDONLY | O_NONBLOCK));
  ASSERT_TRUE(dtmf);
  EXPECT_EQ(sim.command("dtmf digit 4 11"), Lines{"error: no detector enabled on time slot 4"});
  dtmf_detector_enable enable{4, 9};
  EXPECT_EQ(call(dtmf, TonecIoctl::kEnableDetector, enable), 0);
  EXPECT_EQ(sim.command("dtmf event 1 2 3 4"), Lines{"ok"});
  EXPECT_EQ(sim.command("dtmf digit 4 11"), Lines{"ok"});
  EXPECT_EQ(sim.command("dtmf raw 0102"), Lines{"ok"});
  EXPECT_EQ(read_record(dtmf), bytes(tonec_event_record{1, 2, 3, 4}));
  EXPECT_EQ(read_record(dtmf), bytes(tonec_event_record{11, 4, 0, 9}));
  EXPECT_EQ(read_record(dtmf), std::string("\x01\x02", 2));
  EXPECT_EQ(read_record(dtmf), "<" + std::string(std::strerror(EAGAIN)) + ">");
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kDisableDetector, 4), 0);
  EXPECT_EQ(sim.command("dtmf digit 4 11"), Lines{"error: no detector enabled on time slot 4"});
}

}  // namespace
