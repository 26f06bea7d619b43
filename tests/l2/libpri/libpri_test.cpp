// Our LAPD against libpri's Q.921 and Q.931 over a SOCK_SEQPACKET socket pair, one frame per
// datagram: libpri reads and writes its descriptor the way it drives a D channel, with two check
// octets at the end of every frame, which our end of the pair adds and strips.
//
// libpri keeps its timers on the system clock, so these tests run on it too; every wait is a
// bounded number of loop turns of at most 20 ms each, and nothing asserts a duration.
#include <gtest/gtest.h>
extern "C" {
#include <libpri.h>
}
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/event.h"
#include "l2/isdn/lapd.h"
#include "l2/isdn/q931_trace.h"
#include "proto/protocol.h"
#include "tests/support/loop_turns.h"

namespace {

// Our end of the pair as the link's HDLC channel.
class SocketChannel : public GenericHDLC {
 public:
  explicit SocketChannel(int fd) {
    event_.Bind("SocketChannel::on_event", &SocketChannel::on_event, this);
    event_.Schedule(Fd(fd), POLLIN);
  }
  bool hdlc_transmit(Packet& frame) override {
    const Packet& bytes = frame;
    std::string octets(reinterpret_cast<const char*>(bytes->data), frame.length());
    octets.append(2, '\0');
    return ::write(event_.fd().get(), octets.data(), octets.size()) == ssize_t(octets.size());
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }

  HDLC::Notify* notify = nullptr;

 private:
  void on_event(int fd, short revents) {
    if (!(revents & POLLIN)) return;
    unsigned char buffer[600];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 2 || !notify) return;
    Packet p;
    p.reserve_head(0);
    std::memcpy(p.put(unsigned(n - 2)), buffer, size_t(n - 2));
    notify->on_hdlc_receive(p);
  }

  Event event_;
};

// Layer 3 above our link: keeps the messages it receives.
class Owner : public ProtocolsList {
 public:
  void on_message(Packet& p) override {
    const Packet& bytes = p;
    received.emplace_back(reinterpret_cast<const char*>(bytes->data), p.length());
  }
  std::vector<std::string> received;
};

std::string libpri_log;

}  // namespace

// libpri has no call that frees a controller: its blocks stay allocated until the end.
extern "C" const char* __lsan_default_suppressions() { return "leak:pri_\nleak:q931_\n"; }

namespace {

void keep_libpri_text(struct pri*, char* text) { libpri_log += text; }

class LibpriTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pri_set_message(keep_libpri_text);
    pri_set_error(keep_libpri_text);
    libpri_log.clear();
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_), 0);
  }
  void TearDown() override {
    delete owner_;
    delete channel_;
    if (fds_[1] >= 0) close(fds_[1]);
    if (HasFailure()) std::cerr << "libpri said:\n" << libpri_log;
  }

  // Our link on fds_[0].
  ISDN::LAPD* start_link(ISDN::Side::type side, bool bri) {
    channel_ = new SocketChannel(fds_[0]);
    owner_ = new Owner;
    lapd_ = new ISDN::LAPD(side, 0);
    lapd_->hdlc = channel_;
    channel_->notify = lapd_;
    if (bri) lapd_->change_to_bri();
    owner_->add_protocol_tail(lapd_);
    return lapd_;
  }

  // Serves both ends until `done`, for at most about ten seconds.
  bool run_until(const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
      run_loop_turn();
      pollfd p{fds_[1], POLLIN, 0};
      while (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) note(pri_check_event(pri_));
      if (struct timeval* next = pri_schedule_next(pri_)) {
        struct timeval now;
        gettimeofday(&now, nullptr);
        if (timercmp(next, &now, <=)) note(pri_schedule_run(pri_));
      }
      if (done()) return true;
    }
    return false;
  }
  void note(pri_event* e) {
    if (!e) return;
    events_.push_back(e->e);
    if (e->e == PRI_EVENT_RING) {
      ring_number_ = e->ring.callednum;
      ring_call_ = e->ring.call;
      ring_channel_ = e->ring.channel;
    }
  }
  bool saw(int event) const {
    for (int e : events_)
      if (e == event) return true;
    return false;
  }
  // The message type of a received Q.931 message, or -1.
  static int message_type(const std::string& m) {
    if (m.size() < 3 || m[0] != 0x08) return -1;
    const size_t at = 2 + (m[1] & 0x0F);
    return at < m.size() ? static_cast<unsigned char>(m[at]) : -1;
  }

  int fds_[2] = {-1, -1};
  struct pri* pri_ = nullptr;
  SocketChannel* channel_ = nullptr;
  Owner* owner_ = nullptr;
  ISDN::LAPD* lapd_ = nullptr;
  std::vector<int> events_;
  std::string ring_number_;
  q931_call* ring_call_ = nullptr;
  int ring_channel_ = -1;
};

// Q.931 SETUP from the user side on a primary-rate link: call reference 0x0005 (two octets),
// speech, B channel 1 exclusive, called number 1234, sending complete.
const unsigned char kSetup[] = {0x08, 0x02, 0x00, 0x05, 0x05, 0x04, 0x03, 0x80,
                                0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81, 0x70,
                                0x05, 0x81, 0x31, 0x32, 0x33, 0x34, 0xA1};

TEST_F(LibpriTest, PriUserAgainstLibpriNetwork) {
  ISDN::LAPD* lapd = start_link(ISDN::Side::user, false);
  pri_ = pri_new(fds_[1], PRI_NETWORK, PRI_SWITCH_EUROISDN_E1);
  ASSERT_NE(pri_, nullptr);
  lapd->activate();
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_DCHAN_UP) && lapd->full_state().state == 6; }));

  Packet setup;
  lapd->prepare_head(setup);
  std::memcpy(setup.put(sizeof kSetup), kSetup, sizeof kSetup);
  lapd->message(setup);
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_RING); }));
  EXPECT_EQ(ring_number_, "1234");
  EXPECT_EQ(ring_channel_ & 0xFF, 1);
  pri_proceeding(pri_, ring_call_, ring_channel_, 0);
  ASSERT_TRUE(run_until([&] { return !owner_->received.empty(); }));
  EXPECT_EQ(message_type(owner_->received.front()), 0x02);  // CALL PROCEEDING
  EXPECT_EQ(lapd->stats().rejected + lapd->stats().bad_confirmations, 0u);
}

TEST_F(LibpriTest, PriNetworkAgainstLibpriUser) {
  ISDN::LAPD* lapd = start_link(ISDN::Side::network, false);
  pri_ = pri_new(fds_[1], PRI_CPE, PRI_SWITCH_EUROISDN_E1);
  ASSERT_NE(pri_, nullptr);
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_DCHAN_UP) && lapd->full_state().state == 6; }));

  q931_call* call = pri_new_call(pri_);
  ASSERT_NE(call, nullptr);
  char called[] = "5678";
  char caller[] = "100";
  ASSERT_EQ(pri_call(pri_, call, PRI_TRANS_CAP_SPEECH, 1, 1, 0, caller, PRI_UNKNOWN, nullptr,
                     PRES_ALLOWED_USER_NUMBER_NOT_SCREENED, called, PRI_UNKNOWN, PRI_LAYER_1_ALAW),
            0);
  ASSERT_TRUE(run_until([&] { return !owner_->received.empty(); }));
  const std::string& m = owner_->received.front();
  EXPECT_EQ(message_type(m), 0x05);
  EXPECT_EQ(m[1], 0x02) << "a two-octet call reference";
  // The trace decoder reads libpri's SETUP: its call reference and the called number.
  std::string frame = std::string("\x02\x01\x00\x00", 4) + m;
  ISDN::dlogframe(reinterpret_cast<const unsigned char*>(frame.data()), unsigned(frame.size()), 1,
                  ISDN::logbuf);
  const std::string text = ISDN::logbuf;
  EXPECT_NE(text.find("message type SETUP\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    number digits 5678\n"), std::string::npos) << text;
}

TEST_F(LibpriTest, BriUserTakesTeiFromLibpriMultipointNetwork) {
  ISDN::LAPD* lapd = start_link(ISDN::Side::user, true);
  pri_ = pri_new_bri(fds_[1], 0, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1);
  ASSERT_NE(pri_, nullptr);
  lapd->mdl_remove();  // "TEI unassigned": the link must ask for one
  lapd->activate();
  ASSERT_TRUE(run_until([&] { return lapd->full_state().state == 6; }));
  EXPECT_GE(lapd->full_state().self_tei, 64u);
  EXPECT_LE(lapd->full_state().self_tei, 126u);
}

}  // namespace
