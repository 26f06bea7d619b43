// The models of /dev/hal's switch, /dev/dtmf and /dev/dsp, driven through the device seam.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/device.h"
#include "base/fd.h"
#include "hw/dsproc_records.h"
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
  EXPECT_EQ(sim.command("log hal").front(), "0x80084d02 connect output=8192 input=5");
  EXPECT_EQ(sim.command("log hal")[1], "0xc0084d04 write channel=8193 value=0xd5");
  EXPECT_EQ(sim.command("hal counts"),
            (Lines{"0x80044d03 1", "0x80084d02 2", "0xc0084d04 2", "0xc0084d05 6"}));
}

TEST_F(Models, SwitchRefusesBadRequests) {
  Fd hal(Device::open("/dev/hal", O_RDWR));
  ASSERT_TRUE(hal);
  mux_connect beyond{10240, 1};
  mux_connect bad_input{8192, 10240};
  mux_value too_big{8192, 0x100};
  uint32_t short_connect = 8192;
  mux_disable last{10239};
  EXPECT_EQ(call(hal, MuxIoctl::kConnect, beyond), -EINVAL);
  EXPECT_EQ(call(hal, MuxIoctl::kConnect, bad_input), -EINVAL);
  EXPECT_EQ(call(hal, MuxIoctl::kWrite, too_big), -EINVAL);
  EXPECT_EQ(call(hal, MuxIoctl::kConnect, short_connect), -EINVAL);
  EXPECT_EQ(call_value(hal, MuxIoctl::kDisable, 8192), -EINVAL);
  EXPECT_EQ(call(hal, 0x80044d7f, last), -ENOTTY);
  EXPECT_EQ(sim.command("switch 8192"), Lines{"error: switch output 8192 never set"});

  // A queued failure refuses one request; the switch is not changed by it.
  EXPECT_EQ(sim.command("fail hal 0x80044d03 EIO"), Lines{"ok"});
  EXPECT_EQ(call(hal, MuxIoctl::kDisable, last), -EIO);
  EXPECT_EQ(sim.command("switch 10239"), Lines{"error: switch output 10239 never set"});
  EXPECT_EQ(call(hal, MuxIoctl::kDisable, last), 0);
  EXPECT_EQ(sim.command("switch 10239"), Lines{"off"});
  EXPECT_EQ(sim.command("switch"), Lines{"error: usage: switch OUTPUT"});
}

TEST_F(Models, DtmfLogsEveryRequestDecoded) {
  Fd dtmf(Device::open("/dev/dtmf", O_RDONLY | O_NONBLOCK));
  ASSERT_TRUE(dtmf);
  dtmf_detector_config config{3, 10, 20, 30, 40};
  dtmf_detector_enable enable{3, 7};
  tone_gen_params tone{3, 425, 0, 2048, 2048};
  iva_detector_config iva{3, static_cast<uint32_t>(-30)};
  selcal_dial_params selcal{3, 12000, {'A', 'B', 'C', 'D'}, 0};
  EXPECT_EQ(call(dtmf, TonecIoctl::kConfigureDetector, config), 0);
  EXPECT_EQ(call(dtmf, TonecIoctl::kEnableDetector, enable), 0);
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kDisableDetector, 3), 0);
  EXPECT_EQ(call(dtmf, TonecIoctl::kDial, tone), 0);
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kLmsOn, 3), 0);
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kRejectionDisable, 3), 0);
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kIvaEnable, 3), 0);
  EXPECT_EQ(call(dtmf, TonecIoctl::kIvaConfigure, iva), 0);
  EXPECT_EQ(call(dtmf, TonecIoctl::kSelcalDial, selcal), 0);
  EXPECT_EQ(call(dtmf, TonecIoctl::kDial, enable), -EINVAL);   // wrong size
  EXPECT_EQ(call(dtmf, TonecIoctl::kLmsOff, config.ts), -EINVAL);  // a record, not the value
  EXPECT_EQ(call_value(dtmf, 0x40044299, 3), -ENOTTY);
  EXPECT_EQ(sim.command("log dtmf"),
            (Lines{"0x40144202 DTMF_CONFIGURE_DETECTOR ts=3 twist=10 ratio=20 silence=30 noise=40",
                   "0x40084203 DTMF_ENABLE_DETECTOR ts=3 id=7",
                   "0x40044204 DTMF_DISABLE_DETECTOR ts=3",
                   "0x400c4205 DTMF_DIAL ts=3 freq1=425 freq2=0 level1=2048 level2=2048",
                   "0x40044206 CHANNEL_LMS_ON ts=3", "0x4004420a DTMF_REJECTION_DISABLE ts=3",
                   "0x4004420b IVA_DETECTOR_ENABLE ts=3",
                   "0x4008420d IVA_CONFIGURE_DETECTOR ts=3 det_lvl_dB=-30",
                   "0x400c420e SELCAL_DIAL ts=3 amp=12000 signs=ABCD reserved=0",
                   "0x400c4205 03 00 00 00 07 00 00 00", "0x40044207 03 00 00 00",
                   "0x40044299 3"}));
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
  EXPECT_EQ(sim.command("dtmf raw 010"), Lines{"error: usage: dtmf event CODE TIMESLOT "
                                               "TIMESTAMP ID | dtmf digit TIMESLOT CODE | "
                                               "dtmf raw HEX"});
  EXPECT_EQ(read_record(dtmf), bytes(tonec_event_record{1, 2, 3, 4}));
  EXPECT_EQ(read_record(dtmf), bytes(tonec_event_record{11, 4, 0, 9}));
  EXPECT_EQ(read_record(dtmf), std::string("\x01\x02", 2));
  EXPECT_EQ(read_record(dtmf), "<" + std::string(std::strerror(EAGAIN)) + ">");
  EXPECT_EQ(call_value(dtmf, TonecIoctl::kDisableDetector, 4), 0);
  EXPECT_EQ(sim.command("dtmf digit 4 11"), Lines{"error: no detector enabled on time slot 4"});
}

TEST_F(Models, DspVersionRequestsAndEvents) {
  Fd dsp(Device::open("/dev/dsp", O_RDWR | O_NONBLOCK));
  ASSERT_TRUE(dsp);
  EXPECT_EQ(call_value(dsp, DsprocIoctl::kVersion, 0), 1);
  EXPECT_EQ(sim.command("dsp version 2"), Lines{"ok"});
  EXPECT_EQ(sim.command("dsp version"), Lines{"2"});
  EXPECT_EQ(call_value(dsp, DsprocIoctl::kVersion, 0), 2);

  dsproc_configure vad{5, DsprocConfigure::kVAD, {0x2c, 0x01, 0x90, 0x01, 0x0a}};
  dsproc_configure gain{5, DsprocConfigure::kRxGain, {0xfa, 0, 0, 1}};
  dsproc_configure filter{5, DsprocConfigure::kToneFilter, {0xe8, 0x03, 1, 0, 50, 0, 0xf6}};
  dsproc_configure unknown{5, 99, {1}};
  dsproc_feature enable{5, 3, DsprocFeature::kVAD | DsprocFeature::kBSS};
  for (dsproc_configure* c : {&vad, &gain, &filter, &unknown}) {
    EXPECT_EQ(call(dsp, DsprocIoctl::kConfigure, *c), 0);
  }
  EXPECT_EQ(call(dsp, DsprocIoctl::kEnable, enable), 0);
  EXPECT_EQ(call(dsp, DsprocIoctl::kDisable, vad), -EINVAL);
  EXPECT_EQ(sim.command("log dsp"),
            (Lines{"0x40046404 VERSION 0", "0x40046404 VERSION 0",
                   "0x40146401 CONFIGURE ts=5 VAD voice_th_msec=300 silence_th_msec=400 e_th_dB=10",
                   "0x40146401 CONFIGURE ts=5 RX_GAIN gain_dB=-6 extra=0000010000000000000000",
                   "0x40146401 CONFIGURE ts=5 TONE_FILTER freq=1000 en=1 dur_th_msec=50 "
                   "det_lvl_dB=-10",
                   "0x40146401 CONFIGURE ts=5 what=99 params=010000000000000000000000",
                   "0x400c6402 ENABLE ts=5 id=3 mask=0x11",
                   "0x400c6403 05 00 00 00 01 00 00 00 2c 01 90 01 0a 00 00 00 00 00 00 00"}));

  EXPECT_EQ(sim.command("dsp event 5 3 1 3 -1 0x7fffffff"), Lines{"ok"});
  EXPECT_EQ(read_record(dsp), bytes(dsproc_event_record{5, 3, 1, 3, -1, 0x7fffffff}));
  EXPECT_EQ(sim.command("dsp event 5 3 1 3 x 0"), (Lines{"error: usage: dsp version [N] | "
                                                          "dsp event TIMESLOT ID TYPE W0 W1 W2 "
                                                          "| dsp raw HEX"}));
}

}  // namespace
