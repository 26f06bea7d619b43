// HwTests (testBpc) against the simulated time-slot switch: the pattern written, the first
// differing channel reported, outputs switched off.
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#include "board/hw_tests.h"
#include "hw/hw_mux.h"
#include "tests/support/board.h"
#include "tests/support/service_test.h"

namespace {

class HwTestsTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    mux = std::make_unique<HwMux>();
    tests = std::make_unique<HwTests>(*mux);
    ASSERT_TRUE(mux->IsOpened());
    connect({tests.get()});
  }
  void destroy() override {
    tests.reset();
    mux.reset();
  }
  Lines run(const std::string& mode, int seed, int start, int length, int bus = 1) {
    return command("testBpc : { bus " + std::to_string(bus) + ", seed " + std::to_string(seed) +
                   ", mode " + mode + " : NULL, timeslot-start " + std::to_string(start) +
                   ", timeslot-length " + std::to_string(length) + " }");
  }
  // What the switch says output `channel` carries.
  std::string carried(int channel) { return sim.command("switch " + std::to_string(channel))[0]; }

  std::unique_ptr<HwMux> mux;
  std::unique_ptr<HwTests> tests;
};

std::string hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}

TEST_F(HwTestsTest, WriteSendsThePatternOfTheSeedAndReadChecksIt) {
  EXPECT_EQ(run("write", 7, 5, 3), Lines{"success"});
  ::srandom(7);
  for (int channel = 8325; channel <= 8327; ++channel) {
    EXPECT_EQ(carried(channel), "const " + hex(::random() & 0xFF)) << channel;
  }
  EXPECT_EQ(run("read", 7, 5, 3), Lines{"success"}) << "the same seed gives the same pattern";

  ::srandom(7);
  ::random();
  unsigned second = ::random() & 0xFF;
  ASSERT_TRUE(mux->Write(8326, static_cast<unsigned char>(second ^ 0x5A)));
  StreamCapture errors(std::cerr);
  EXPECT_EQ(run("read", 7, 5, 3), Lines{"error 10"});
  char line[80];
  std::snprintf(line, sizeof line, "bus 1: test failed on channel 6 expected %02X  read %02X ",
                second, second ^ 0x5A);
  EXPECT_EQ(errors.take_lines(), Lines{line});
}

TEST_F(HwTestsTest, WriteThatDoesNotReadBackIsABusError) {
  ASSERT_EQ(sim.command("fail hal 0xc0084d05 EIO"), Lines{"ok"});
  StreamCapture errors(std::cerr);
  EXPECT_EQ(run("write", 3, 0, 2, 0), Lines{"error 10"});
  Lines lines = errors.take_lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("bus 0: write failed on channel 0 write "), std::string::npos);
  EXPECT_NE(lines.back().find(" written FF "), std::string::npos);
}

// Each mode with one switch request refused, and ranges at and past their bus's end; outputs
// 8318 to 8321 (the ends of buses 0 and 1) after each: the pattern's bytes a and b, or - (off).
TEST_F(HwTestsTest, RefusalsAndRangesAnswerWhatTheSwitchDid) {
  const struct {
    const char *fail, *mode;  // fail: the request the switch refuses once
    int bus, start, length;
    const char *answer, *outputs;
  } cases[] = {
      {"", "write", 0, 126, 2, "success", "ab--"},
      {"0x80044d03", "disconnect", 0, 126, 2, "error 10", "a---"},
      {"", "disconnect", 0, 126, 2, "success", "----"},
      {"0xc0084d04", "write", 0, 126, 2, "error 10", "-b--"},
      {"0xc0084d05", "read", 0, 126, 2, "error 10", "-b--"},
      {"", "write", 0, 126, 4, "error 0", "-b--"},
      {"", "disconnect", 0, 100, 100, "error 0", "-b--"},
      {"", "write", 1, 0, 2, "success", "-bab"},
      {"", "write", 15, 127, 2, "error 0", "-bab"},
  };
  ::srandom(5);
  const std::string a = "const " + hex(::random() & 0xFF), b = "const " + hex(::random() & 0xFF);
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    if (*c.fail) sim.command(std::string("fail hal ") + c.fail + " EIO");
    EXPECT_EQ(run(c.mode, 5, c.start, c.length, c.bus), Lines{c.answer});
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(carried(8318 + i), c.outputs[i] == 'a' ? a : c.outputs[i] == 'b' ? b : "off");
  }
}

TEST_F(HwTestsTest, DisconnectSwitchesTheOutputsOff) {
  EXPECT_EQ(run("write", 1, 120, 8, 15), Lines{"success"});
  EXPECT_EQ(run("disconnect", 1, 120, 8, 15), Lines{"success"});
  for (int channel = 10232; channel <= 10239; ++channel) EXPECT_EQ(carried(channel), "off");
  EXPECT_EQ(command("ping : NULL"), Lines{"error 4"});
}

}  // namespace
