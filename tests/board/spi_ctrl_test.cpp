// spiCtrl behind a control server, against the simulated SPI registers of /dev/hal: channel
// set-up, clock master, the status poll and a board without SPI.
#include <algorithm>
#include <gtest/gtest.h>

#include "board/spi_ctrl.h"
#include "tests/support/service_test.h"

namespace {

class SpiCtrlTest : public ServiceTest {
 protected:
  void destroy() override { spi.reset(); }
  void start() { spi = std::make_unique<spiCtrl>(); }
  // The requests /dev/hal received since the last call.
  Lines requests() {
    Lines all = sim.command("log hal");
    Lines fresh(all.begin() + std::min(seen, all.size()), all.end());
    seen = all.size();
    return fresh;
  }
  Lines registers(const std::string& reg) {
    Lines values;
    for (int ch = 0; ch < spiCtrl::kChannels; ++ch) {
      values.push_back(sim.command("spi get " + std::to_string(ch) + " " + reg)[0]);
    }
    return values;
  }

  std::unique_ptr<spiCtrl> spi;
  size_t seen = 0;
};

TEST_F(SpiCtrlTest, StartInitialisesAndEnablesEveryChannelAndExitDisablesThem) {
  start();
  Lines r = requests();
  ASSERT_EQ(r.size(), 64u);
  EXPECT_EQ(Lines(r.begin(), r.begin() + 8),
            (Lines{"0xc0034204 SPI_WRITE ch=0 reg=0x32 data=0x80",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x30 data=0x08",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x57 data=0x30",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x34 data=0x60",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x35 data=0x00",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x36 data=0x00",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x37 data=0x00",
                   "0xc0034204 SPI_WRITE ch=0 reg=0x32 data=0x00"}));
  EXPECT_EQ(registers("0x32"), Lines(8, "0x00"));

  spi->clock(3);
  Lines master(8, "0x30");
  master[3] = "0x38";
  EXPECT_EQ(registers("0x57"), master);
  requests();
  spi->clock(8);
  spi->init_channel(-1);
  EXPECT_TRUE(requests().empty()) << "bad channels write nothing";

  spi.reset();
  EXPECT_EQ(registers("0x32"), Lines(8, "0x80"));
  EXPECT_EQ(registers("0x57"), Lines(8, "0x30"));
}

TEST_F(SpiCtrlTest, PollReportsEachChannelsStateAndEachSlipOnce) {
  const char* const values[] = {"0xc5", "0x84", "0x85", "0x45", "0xc1", "0xe5", "0xe5", "0x05"};
  for (int ch = 0; ch < 8; ++ch) {
    ASSERT_EQ(sim.command("spi set " + std::to_string(ch) + " 0x33 " + values[ch]), Lines{"ok"});
  }
  start();
  connect({spi.get()});
  EXPECT_TRUE(take(999).empty());
  const char* const states[] = {"normal", "lossCarrier", "rai",    "ais",
                                "lossBF", "normal",      "normal", "ais"};
  Lines expected;
  for (int ch = 0; ch < 8; ++ch) {
    expected.push_back("trunk " + std::to_string(ch) + " state=" + states[ch] + " slips=" +
                       (ch == 5 || ch == 6 ? "1" : "0") + " bf=0 carrier=0 ais=0 rai=0 type=bri");
  }
  EXPECT_EQ(take(1), expected);

  Lines again = take(1000);
  ASSERT_EQ(again.size(), 8u);
  EXPECT_NE(again[5].find("slips=0"), std::string::npos) << "a slip still shown is not new";
  ASSERT_EQ(sim.command("spi set 5 0x33 0xc5"), Lines{"ok"});
  take(1000);
  ASSERT_EQ(sim.command("spi set 5 0x33 0xe5"), Lines{"ok"});
  ASSERT_EQ(sim.command("fail hal 0xc0034203 EIO"), Lines{"ok"});
  again = take(1000);
  ASSERT_EQ(again.size(), 8u);
  EXPECT_NE(again[0].find("state=lossCarrier"), std::string::npos) << "a failed read reads 0";
  EXPECT_NE(again[5].find("slips=1"), std::string::npos);

  disconnect();
  requests();
  turn(5000);
  EXPECT_TRUE(requests().empty()) << "no poll without a controller";
}

TEST_F(SpiCtrlTest, BoardWithoutSpiGoesSilentAtTheFirstRefusal) {
  ASSERT_EQ(sim.command("spi absent"), Lines{"ok"});
  start();
  EXPECT_EQ(requests().size(), 1u);
  EXPECT_FALSE(spi->present());
  connect({spi.get()});
  spi->clock(2);
  spi->status();
  EXPECT_TRUE(take(5000).empty());
  EXPECT_TRUE(requests().empty());
  EXPECT_EQ(command("ping : NULL"), Lines{"error 4"}) << "it takes no command";
}

// ENODEV on a descriptor that served: the device is opened again, to see whether SPI is there.
TEST_F(SpiCtrlTest, SpiLostDuringAPollStopsIt) {
  start();
  connect({spi.get()});
  requests();
  ASSERT_EQ(sim.command("spi absent"), Lines{"ok"});
  EXPECT_TRUE(take(1000).empty());
  EXPECT_EQ(requests().size(), 1u);
  EXPECT_TRUE(take(1000).empty());
  EXPECT_EQ(requests(), Lines{"0xc0034204 SPI_WRITE ch=0 reg=0x32 data=0x80"});
  EXPECT_FALSE(spi->present());
  turn(5000);
  EXPECT_TRUE(requests().empty());
}

}  // namespace
