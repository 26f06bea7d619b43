// Trunk channel slots on orvexd and the simulated board: the controller creates E1 and BRI
// trunk slots, learns their switch channels, connects and destroys them, and the simulator's
// switch table shows what the hardware carries. Losing the controller frees every path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/lgcp_test.h"
#include "tests/support/orvexd_process.h"
#include "tests/support/loopback.h"
#include "tools/orvex-ctl/lib/controller.h"
#include "tools/simctl/board_sim.h"

namespace {

constexpr int wait_ms = OrvexdProcess::wait_ms;

class TrunkSlots : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.ok());
    port_ = free_port();
    ASSERT_TRUE(daemon_.start({"--port", std::to_string(port_)}));
    attach();
  }
  // Connects and pings until the daemon serves this controller: while it still holds another
  // one, it closes a new connection at once.
  void attach() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    Ctl::Received r;
    while (!ctl_.connect("127.0.0.1", port_, wait_ms) || !ctl_.command("ping : NULL", r, 3000)) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ctl_.error();
      ctl_.close();
      usleep(20000);
    }
  }
  // The payload of the response to `command`, in hex.
  std::string answer(const std::string& command) {
    Ctl::Received r;
    if (!ctl_.command(command, r, wait_ms)) return ctl_.error();
    return Ctl::to_hex(r.bytes);
  }
  // The payload of the next signal named `name`, in hex.
  std::string signal(const std::string& name) {
    Ctl::Received r;
    if (!ctl_.wait_for(name, r, wait_ms)) return ctl_.error();
    return Ctl::to_hex(r.bytes);
  }
  std::string output(int channel) {
    return board_.command("switch " + std::to_string(channel)).at(0);
  }

  BoardSim board_;
  unsigned short port_ = 0;
  OrvexdProcess daemon_;
  Ctl::Controller ctl_;
};

const std::string success(int seq, int slot) {
  return "{ seq " + std::to_string(seq) + ", slot " + std::to_string(slot) +
         ", pdu response : success : NULL }";
}

TEST_F(TrunkSlots, CreateConnectDestroyAndLoseTheController) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : trunk : { trunk 1, timeslot 5 } }"),
            wire(success(1, 1)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 1, pdu signal : transmitter : active : 37 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 1, pdu signal : receiver : active : 37 }"));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk_bri : { trunk 3, timeslot 2 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(signal("transmitter"), wire("{ slot 2, pdu signal : transmitter : active : 14 }"));
  EXPECT_EQ(signal("receiver"), wire("{ slot 2, pdu signal : receiver : active : 14 }"));

  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : connect : 1 }"), wire(success(4, 2)));
  EXPECT_EQ(output(14), "37");
  EXPECT_EQ(output(37), "14");

  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : destroy : NULL }"), wire(success(5, 1)));
  EXPECT_EQ(output(37), "const 0xd5");
  EXPECT_EQ(answer("{ seq 6, slot 1, pdu command : connect : 2 }"),
            wire("{ seq 6, slot 1, pdu response : error : slotNotExists }"));

  EXPECT_EQ(answer("{ seq 7, slot 3, pdu command : create : trunk : { trunk 2, timeslot 0 } }"),
            wire(success(7, 3)));
  EXPECT_EQ(answer("{ seq 8, slot 3, pdu command : connect : 2 }"), wire(success(8, 3)));
  EXPECT_EQ(output(14), "64");

  // A lost controller: every slot goes, and with it every path.
  ctl_.close();
  attach();
  EXPECT_EQ(answer("{ seq 9, slot 3, pdu command : destroy : NULL }"),
            wire("{ seq 9, slot 3, pdu response : error : slotNotExists }"));
  EXPECT_EQ(output(14), "const 0xd5");
  EXPECT_EQ(daemon_.output().find("trunk-slot: "), std::string::npos);
}

}  // namespace
