// Our SS7 link against libss7's MTP2 (and the MTP3 above it) on a FrameSocket.
//
// libss7 writes a unit whenever its descriptor is writable, repeating FISUs and LSSUs the way a
// line does. The harness lets it write once per turn and passes on to our link only units that
// differ from the one before, since our link expects each unit once; the other way it repeats
// our link's last FISU or LSSU once per turn, as the hardware would.
#include <gtest/gtest.h>
extern "C" {
#include <libss7.h>
}
#include <poll.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/support/loop_turns.h"

// libss7 keeps its links' records past ss7_destroy.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:mtp2_new\nleak:mtp3_add_adj_sp\n";
}

namespace {

// Our link's HDLC channel and layer-3 owner.
class OurEnd : public GenericHDLC, public ProtocolsList {
 public:
  explicit OurEnd(FrameSocket& socket) : socket_(socket), slc(new SS7::SLC) {
    slc->hdlc = this;
    add_protocol_head(slc);
  }
  bool hdlc_transmit(Packet& frame) override {
    // A FISU or an LSSU: three header octets and at most two of status.
    if (frame.length() <= 5) status_ = frame;
    return socket_.write(frame);
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  void on_message(Packet& p) override { msus.push_back(p.text()); }

  void turn() {
    socket_.read([this](Packet& unit) {
      if (unit.text() == last_) return;
      last_ = unit.text();
      slc->on_hdlc_receive(unit);
    });
    run_loop_turn();
    if (status_.length()) socket_.write(status_);
  }

  FrameSocket& socket_;
  Packet status_;
  std::string last_;
  SS7::SLC* slc;
  std::vector<std::string> msus;
};

void quiet(struct ss7*, char*) {}

TEST(Libss7Peer, AlignsAndCarriesMsusBothWays) {
  FrameSocket socket;
  ASSERT_TRUE(socket.ok());
  ss7_set_message(quiet);
  ss7_set_error(quiet);
  struct ss7* peer = ss7_new(SS7_ITU);
  ASSERT_TRUE(peer);
  ss7_set_network_ind(peer, SS7_NI_NAT);
  ss7_set_pc(peer, 2);
  ASSERT_GE(ss7_add_link(peer, SS7_TRANSPORT_DAHDIDCHAN, socket.peer, 0, 1), 0);
  std::unique_ptr<OurEnd> ours(new OurEnd(socket));
  std::vector<int> events;
  auto seen = [&](int event) {
    return std::find(events.begin(), events.end(), event) != events.end();
  };
  auto turn = [&] {
    ss7_schedule_run(peer);
    while (socket.peer_readable()) ss7_read(peer, socket.peer);
    while (ss7_event* e = ss7_check_event(peer)) events.push_back(e->e);
    if (ss7_pollflags(peer, socket.peer) & POLLOUT) ss7_write(peer, socket.peer);
    ours->turn();
  };

  ASSERT_EQ(ss7_start(peer), 0);
  ours->slc->emergency = true;
  ours->slc->activate();
  // Emergency proving on both sides (libss7 follows our SIE); turns are at most 20 ms. libss7
  // ignores a FISU repeated unchanged while it is aligned ready, so our MSUs bring it in service.
  ASSERT_TRUE(turns_until([&] { return ours->slc->state() == SS7::SLC::State::worked; }, 1000,
                          turn));
  for (int i = 0; i < 3; ++i) send_octets(*ours->slc, unhex("81 02 40 00 00 11 00"));
  EXPECT_TRUE(
      turns_until([&] { return seen(MTP2_LINK_UP) && ours->slc->rtb_fill() == 0; }, 1000, turn));
  // libss7's MTP3 answers our signalling link test message (H0 1, H1 1) with an acknowledgement
  // (H1 2), from point code 2 to 1.
  ASSERT_TRUE(turns_until([&] { return !ours->msus.empty(); }, 300, turn));
  EXPECT_EQ(ours->msus[0], "81 01 80 00 00 21 00");
  EXPECT_EQ(ours->slc->state(), SS7::SLC::State::worked);
  EXPECT_FALSE(seen(MTP2_LINK_DOWN));
  ours.reset();
  ss7_destroy(peer);
}

}  // namespace
