// Data-channel slots on orvexd and the simulated board: two raw data slots whose channels the
// board joins exchange user data both ways, and an HDLC packet slot on a trunk slot's channel
// sends packages onto the line and returns a frame received there.
#include <string>
#include <vector>

#include "tests/e2e/daemon_on_board.h"

namespace {

using DataSlots = DaemonOnBoard;

TEST_F(DataSlots, RawDataBothWaysAndHdlcPackagesOnATrunk) {
  const std::string mcc = "create : mcc : { type data, mode standard } }";
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : " + mcc), wire(success(1, 1)));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : " + mcc), wire(success(2, 2)));
  EXPECT_EQ(board_.command("mcc join 1024 1025").at(0), "ok");
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : userData : '0102'H }"), wire(success(3, 1)));
  EXPECT_EQ(signal("userData"), wire("{ slot 2, pdu signal : userData : '0102'H }"));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : userData : 'A1B2C3'H }"), wire(success(4, 2)));
  EXPECT_EQ(signal("userData"), wire("{ slot 1, pdu signal : userData : 'A1B2C3'H }"));

  EXPECT_EQ(answer("{ seq 5, slot 3, pdu command : create : hdlcParams : { trunk 1, log 0, "
                   "address 4660 } }"),
            wire(success(5, 3)));
  EXPECT_EQ(answer("{ seq 6, slot 4, pdu command : create : trunk : { trunk 0, timeslot 5 } }"),
            wire(success(6, 4)));
  EXPECT_EQ(answer("{ seq 7, slot 3, pdu command : connect : 4 }"), wire(success(7, 3)));
  EXPECT_EQ(output(5), "1026");
  EXPECT_EQ(answer("{ seq 8, slot 3, pdu command : ioctl : hdlcPackages : { { body '0102'H }, "
                   "{ body '03'H } } }"),
            wire(success(8, 3)));
  // The board reads the channel's frames and its control socket in either order: ask again until
  // both frames have arrived, for at most the usual wait.
  const std::vector<std::string> sent{"1234000102", "12342003"};
  std::vector<std::string> seen;
  for (int i = 0; i < wait_ms / 10 && (seen = board_.command("mcc sent 1026")) != sent; ++i)
    usleep(10000);
  EXPECT_EQ(seen, sent);
  EXPECT_EQ(board_.command("mcc rx 1026 12342007").at(0), "ok");
  EXPECT_EQ(signal("ioctl"),
            wire("{ slot 3, pdu signal : ioctl : hdlcPackages : { { body '07'H } } }"));
}

}  // namespace
