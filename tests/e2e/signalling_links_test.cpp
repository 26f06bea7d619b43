// Signalling links on orvexd and the simulated board, driven as a controller drives them: a
// primary-rate link between a pstn slot and an isdn slot carries a SETUP, and tshark reads the
// board's capture of the link.
#include "tests/e2e/daemon_on_board.h"
#include "tests/support/command_output.h"

namespace {

class SignallingLinks : public DaemonOnBoard {
 protected:
  // Waits for the activated signal of `slot`; those of other slots are passed over.
  bool activated(int slot, int timeout_ms = wait_ms) {
    const std::string mine = wire("{ slot " + std::to_string(slot) + ", pdu signal : activated : NULL }");
    Ctl::Received r;
    for (int i = 0; i < 4; ++i) {
      if (!ctl_.wait_for("activated", r, timeout_ms)) return false;
      if (Ctl::to_hex(r.bytes) == mine) return true;
    }
    return false;
  }
};

std::string user_data(int slot, const std::string& spaced) {
  return wire("{ slot " + std::to_string(slot) + ", pdu signal : userData : '" + spaced + "'H }");
}

TEST_F(SignallingLinks, PrimaryRateSetupOnTheWire) {
  const std::string capture = std::string(std::getenv("ORVEXD_ROOT")) + "/var/links.pcapng";
  ASSERT_EQ(board_.command("mcc capture " + capture).at(0), "ok");
  // Slot 1 (isdn, network side) takes channel 1024; slot 2 (pstn, user side) gets 1025 on
  // trunk slot 3's time slot.
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : isdn : { type pri, trunk 1, log 0, "
                   "side network : NULL } }"),
            wire(success(1, 1)));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : pstn : isdn : { type pri, trunk 1, "
                   "log 0, side user : NULL } }"),
            wire(success(2, 2)));
  EXPECT_EQ(answer("{ seq 3, slot 3, pdu command : create : trunk : { trunk 0, timeslot 5 } }"),
            wire(success(3, 3)));
  EXPECT_EQ(answer("{ seq 4, slot 3, pdu command : connect : 2 }"), wire(success(4, 3)));
  EXPECT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  ASSERT_TRUE(activated(2)) << ctl_.error();
  const std::string setup = "080101050403808890";
  EXPECT_EQ(answer("{ seq 5, slot 2, pdu command : userData : '" + setup + "'H }"),
            wire(success(5, 2)));
  EXPECT_EQ(signal("userData"), user_data(1, setup));

  ASSERT_EQ(board_.command("mcc capture off").at(0), "ok");
  const std::string dissected = output_of("tshark -r " + capture + " -V");
  EXPECT_NE(dissected.find("Q.931"), std::string::npos);
  EXPECT_EQ(dissected.find("Malformed"), std::string::npos);
}

}  // namespace
