// Our SS7 link against libss7's MTP2 (and the MTP3 above it) over a SOCK_SEQPACKET socket pair,
// one signal unit per datagram: libss7 drives its end the way it drives a D channel, with two
// check octets at the end of every unit, which the harness adds and strips.
//
// libss7 writes a unit whenever its descriptor is writable, repeating FISUs and LSSUs the way a
// line does. The harness lets it write once per turn and passes on to our link only units that
// differ from the one before, since our link expects each unit once; in the other direction it
// repeats our link's last FISU or LSSU once per turn, as the hardware would. libss7 keeps its timers on
// the system clock, so the harness does too; every wait is a bounded number of turns and nothing
// asserts a duration.
#include <gtest/gtest.h>
extern "C" {
#include <libss7.h>
}
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "l2/ss7/slc.h"
#include "proto/protocol.h"
#include "tests/support/loop_turns.h"

// libss7 keeps its links' records past ss7_destroy.
extern "C" const char* __lsan_default_suppressions() { return "leak:mtp2_new\nleak:mtp3_add_adj_sp\n"; }

namespace {

// Our end: the link's HDLC channel and its layer-3 owner.
class OurEnd : public GenericHDLC, public ProtocolsList {
 public:
  explicit OurEnd(int fd) : fd_(fd), slc(new SS7::SLC) {
    slc->hdlc = this;
    add_protocol_head(slc);
  }
  bool hdlc_transmit(Packet& frame) override {
    const Packet& bytes = frame;
    std::string octets(reinterpret_cast<const char*>(bytes->data), frame.length());
    octets.append(2, '\0');
    // A FISU or an LSSU: three header octets and at most two of status.
    if (frame.length() <= 5) status_ = octets;
    return write_unit(octets);
  }
  // The line repeats the last FISU or LSSU while nothing else is sent.
  void repeat_status() {
    if (!status_.empty()) write_unit(status_);
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  void on_message(Packet& p) override { msus.push_back(p.text()); }

  // The units libss7 wrote, each once while it repeats it.
  void read_units() {
    unsigned char buffer[600];
    for (pollfd p{fd_, POLLIN, 0}; ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 2) return;
      std::string unit(reinterpret_cast<const char*>(buffer), size_t(n - 2));
      if (unit == last_) continue;
      last_ = unit;
      Packet packet;
      packet.reserve_head(0);
      std::memcpy(packet.put(unsigned(unit.size())), unit.data(), unit.size());
      slc->on_hdlc_receive(packet);
    }
  }

  bool write_unit(const std::string& octets) {
    return ::write(fd_, octets.data(), octets.size()) == ssize_t(octets.size());
  }

  int fd_;
  std::string status_;
  std::string last_;
  SS7::SLC* slc;
  std::vector<std::string> msus;
};

void quiet(struct ss7*, char*) {}

class Libss7Peer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_), 0);
    ss7_set_message(quiet);
    ss7_set_error(quiet);
    peer_ = ss7_new(SS7_ITU);
    ASSERT_TRUE(peer_);
    ss7_set_network_ind(peer_, SS7_NI_NAT);
    ss7_set_pc(peer_, 2);
    ASSERT_GE(ss7_add_link(peer_, SS7_TRANSPORT_DAHDIDCHAN, fds_[1], 0, 1), 0);
    ours_.reset(new OurEnd(fds_[0]));
  }
  void TearDown() override {
    ours_.reset();
    if (peer_) ss7_destroy(peer_);
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  // One turn of both sides: libss7's timers, reads, events and one write; then ours.
  void turn() {
    ss7_schedule_run(peer_);
    pollfd p{fds_[1], POLLIN, 0};
    while (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) ss7_read(peer_, fds_[1]);
    while (ss7_event* e = ss7_check_event(peer_)) events_.push_back(e->e);
    if (ss7_pollflags(peer_, fds_[1]) & POLLOUT) ss7_write(peer_, fds_[1]);
    ours_->read_units();
    run_loop_turn();
    ours_->repeat_status();
  }
  bool turns_until(const std::function<bool()>& done, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (done()) return true;
      turn();
    }
    return done();
  }
  bool seen(int event) const {
    for (int e : events_)
      if (e == event) return true;
    return false;
  }

  int fds_[2] = {-1, -1};
  struct ss7* peer_ = nullptr;
  std::unique_ptr<OurEnd> ours_;
  std::vector<int> events_;
};

TEST_F(Libss7Peer, AlignsAndCarriesMsusBothWays) {
  ASSERT_EQ(ss7_start(peer_), 0);
  ours_->slc->emergency = true;
  ours_->slc->activate();
  // Emergency proving on both sides (libss7 follows our SIE); turns are at most 20 ms. libss7
  // ignores a FISU repeated unchanged while it is aligned ready, so our MSUs bring it in service.
  ASSERT_TRUE(turns_until([&] { return ours_->slc->state() == SS7::SLC::State::worked; }, 1000));
  for (int i = 0; i < 3; ++i) {
    Packet msu;
    ours_->slc->prepare_head(msu);
    for (unsigned char c : {0x81, 0x02, 0x40, 0x00, 0x00, 0x11, 0x00}) msu.put8(c);
    ours_->slc->message(msu);
  }
  EXPECT_TRUE(turns_until([&] { return seen(MTP2_LINK_UP) && ours_->slc->rtb_fill() == 0; }, 1000));
  // libss7's MTP3 answers our signalling link test message (H0 1, H1 1) with an acknowledgement
  // (H1 2), from point code 2 to 1.
  ASSERT_TRUE(turns_until([&] { return !ours_->msus.empty(); }, 300));
  EXPECT_EQ(ours_->msus[0], "81 01 80 00 00 21 00");
  EXPECT_EQ(ours_->slc->state(), SS7::SLC::State::worked);
  EXPECT_FALSE(seen(MTP2_LINK_DOWN));
}

}  // namespace
