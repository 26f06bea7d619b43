// Data-channel slots on orvexd and the simulated board: two raw data slots whose channels the
// board joins exchange user data both ways, and an HDLC packet slot on a trunk slot's channel
// sends packages onto the line and returns the frames received there; a controller channel
// given back leaves no path on the trunk for its next owner.
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
  const std::vector<std::string> frames{"1234000102", "12342003"};
  EXPECT_EQ(mcc_sent(1026, frames), frames);
  EXPECT_EQ(board_.command("mcc rx 1026 12342007").at(0), "ok");
  EXPECT_EQ(signal("ioctl"),
            wire("{ slot 3, pdu signal : ioctl : hdlcPackages : { { body '07'H } } }"));
}

TEST_F(DataSlots, AFreedHdlcChannelIsNoPathForTheNextRawDataSlot) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : hdlcParams : { trunk 1, log 0, "
                   "address 4660 } }"),
            wire(success(1, 1)));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 1 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : connect : 1 }"), wire(success(4, 2)));
  EXPECT_EQ(output(1), "1024");
  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : disconnect : NULL }"), wire(success(5, 1)));
  EXPECT_EQ(output(1), "const 0xd5");

  // The raw data slot gets the same controller channel; its data reach no trunk.
  EXPECT_EQ(answer("{ seq 6, slot 3, pdu command : create : mcc : { type data, mode standard } }"),
            wire(success(6, 3)));
  EXPECT_EQ(answer("{ seq 7, slot 3, pdu command : userData : '0102'H }"), wire(success(7, 3)));
  EXPECT_EQ(mcc_sent(1024, {"0102"}), std::vector<std::string>{"0102"});
  EXPECT_EQ(output(1), "const 0xd5");
  EXPECT_EQ(output(1024), "const 0xd5");
  // A one-octet frame goes up whole; userData longer than a raw data slot reads is refused.
  EXPECT_EQ(board_.command("mcc rx 1024 7e").at(0), "ok");
  EXPECT_EQ(signal("userData"), wire("{ slot 3, pdu signal : userData : '7E'H }"));
  EXPECT_EQ(answer("{ seq 8, slot 3, pdu command : userData : '" + std::string(2050, 'f') + "'H }"),
            wire("{ seq 8, slot 3, pdu response : error : unsupported }"));
}

TEST_F(DataSlots, EveryReceivedPackageReachesTheController) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : hdlcParams : { trunk 1, log 0, "
                   "address 4660 } }"),
            wire(success(1, 1)));
  EXPECT_EQ(answer("{ seq 2, slot 2, pdu command : create : trunk : { trunk 0, timeslot 5 } }"),
            wire(success(2, 2)));
  EXPECT_EQ(answer("{ seq 3, slot 1, pdu command : connect : 2 }"), wire(success(3, 1)));
  // Frames that ask to wait for more, faster than the 100 ms a batch waits.
  for (int i = 0; i < 200; ++i) ASSERT_EQ(board_.command("mcc rx 1024 1234200780").at(0), "ok");
  size_t packages = 0;
  while (packages < 200) {
    Ctl::Received r;
    ASSERT_TRUE(ctl_.wait_for("ioctl", r, wait_ms)) << packages << ": " << ctl_.error();
    ASSERT_TRUE(r.message) << "undecodable signal of " << r.bytes.size() << " bytes";
    const LGCP::IoctlResponse& ioctl = r.message->get_pdu().get_signal().get_ioctl();
    if (!ioctl.is_hdlcPackages()) continue;
    EXPECT_LE(ioctl.get_hdlcPackages().size(), 128u);
    packages += ioctl.get_hdlcPackages().size();
  }
  EXPECT_EQ(packages, 200u);
}

// The transmit ring takes a batch of packages whole or not at all: a batch it has no room for
// is refused with a cause that says so, nothing queued and no sequence number used.
TEST_F(DataSlots, HdlcPackagesAreQueuedWholeOrNotAtAll) {
  EXPECT_EQ(answer("{ seq 1, slot 1, pdu command : create : hdlcParams : { trunk 1, log 0, "
                   "address 4660 } }"),
            wire(success(1, 1)));
  const auto batch = [](int seq, int count) {
    std::string packages;
    for (int i = 0; i < count; ++i) packages += std::string(i ? ", " : "") + "{ body '01'H }";
    return "{ seq " + std::to_string(seq) + ", slot 1, pdu command : ioctl : hdlcPackages : { " +
           packages + " } }";
  };
  const std::string full = "{ seq 2, slot 1, pdu response : error : insufficientResources }";
  EXPECT_EQ(answer(batch(2, 121)), wire(full));
  EXPECT_EQ(answer(batch(3, 120)), wire(success(3, 1)));
  EXPECT_EQ(answer(batch(2, 1)), wire(full));
  EXPECT_EQ(answer("{ seq 4, slot 2, pdu command : create : trunk : { trunk 0, timeslot 5 } }"),
            wire(success(4, 2)));
  EXPECT_EQ(answer("{ seq 5, slot 1, pdu command : connect : 2 }"), wire(success(5, 1)));
  std::vector<std::string> frames;
  const char* sequence[] = {"00", "20", "40", "60", "80", "a0", "c0", "e0"};
  for (int i = 0; i < 120; ++i) frames.push_back(std::string("1234") + sequence[i % 8] + "01");
  EXPECT_EQ(mcc_sent(1024, frames), frames);
  EXPECT_EQ(answer(batch(6, 1)), wire(success(6, 1)));
  frames.push_back("1234" + std::string(sequence[120 % 8]) + "01");
  EXPECT_EQ(mcc_sent(1024, frames), frames);
}

}  // namespace
