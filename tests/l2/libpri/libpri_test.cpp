// Our LAPD and LAPD_NT against libpri's Q.921 and Q.931 on a FrameSocket. libpri keeps its
// timers on the system clock: every wait is a bounded number of loop turns of at most 20 ms.
#include <gtest/gtest.h>
extern "C" {
#include <libpri.h>
}
#include <sys/time.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "l2/isdn/lapd.h"
#include "l2/isdn/lapd_nt.h"
#include "l2/isdn/q931_trace.h"
#include "proto/protocol.h"
#include "tests/l2/l2_support.h"
#include "tests/support/loop_turns.h"

// libpri has no call that frees a controller: its blocks stay allocated until the end.
extern "C" const char* __lsan_default_suppressions() { return "leak:pri_\nleak:q931_\n"; }

namespace {

std::string libpri_log;
void keep_libpri_text(struct pri*, char* text) { libpri_log += text; }

// Layer 3 above our link, and the link's channel on our end of the socket pair.
class Owner : public GenericHDLC, public ProtocolsList {
 public:
  explicit Owner(FrameSocket& socket) : socket_(socket) {}
  bool hdlc_transmit(Packet& frame) override { return socket_.write(frame); }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  void transmit(Packet& p) override { socket_.write(p); }
  void on_message(Packet& p) override { received.push_back(p.text()); }
  bool received_type(const std::string& prefix) const {
    return std::any_of(received.begin(), received.end(),
                       [&](const std::string& m) { return m.rfind(prefix, 0) == 0; });
  }

  std::vector<std::string> received;

 private:
  FrameSocket& socket_;
};

class LibpriTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pri_set_message(keep_libpri_text);
    pri_set_error(keep_libpri_text);
    libpri_log.clear();
    ASSERT_TRUE(socket_.ok());
  }
  void TearDown() override {
    owner_.reset();
    if (HasFailure()) std::cerr << "libpri said:\n" << libpri_log;
  }
  ISDN::LAPD* start_lapd(ISDN::Side::type side, bool bri) {
    auto* lapd = new ISDN::LAPD(side, 0);
    lapd->hdlc = owner_.get();
    if (bri) lapd->change_to_bri();
    owner_->add_protocol_tail(lapd);
    receive_ = [lapd](Packet& f) { lapd->on_hdlc_receive(f); };
    return lapd;
  }
  // Serves both ends until `done`, for at most about ten seconds.
  bool run_until(const std::function<bool()>& done) {
    return turns_until(done, 500, [&] {
      struct timeval now;
      gettimeofday(&now, nullptr);
      if (struct timeval* next = pri_schedule_next(pri_))
        if (timercmp(next, &now, <=)) note(pri_schedule_run(pri_));
      while (socket_.peer_readable()) note(pri_check_event(pri_));
      socket_.read(receive_);
      run_loop_turn();
    });
  }
  void note(pri_event* e) {
    if (!e) return;
    events_.push_back(e->e);
    if (e->e == PRI_EVENT_RING) ring_ = e->ring;
    if (e->e == PRI_EVENT_RINGING) ringing_.push_back(e->ringing.call);
  }
  bool saw(int event) const {
    return std::find(events_.begin(), events_.end(), event) != events_.end();
  }

  FrameSocket socket_;
  std::unique_ptr<Owner> owner_{new Owner(socket_)};
  std::function<void(Packet&)> receive_;
  struct pri* pri_ = nullptr;
  std::vector<int> events_;
  pri_event_ring ring_{};
  // The call of each ALERTING that reached libpri.
  std::vector<q931_call*> ringing_;
};

TEST_F(LibpriTest, PriUserAgainstLibpriNetwork) {
  ISDN::LAPD* lapd = start_lapd(ISDN::Side::user, false);
  ASSERT_TRUE(pri_ = pri_new(socket_.peer, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1));
  lapd->activate();
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_DCHAN_UP) && lapd->full_state().state == 6; }));
  // SETUP, call reference 0x0005 (two octets), speech, B channel 1, called number 1234.
  send_octets(*lapd, unhex("08 02 00 05 05 04 03 80 90 A3 18 03 A9 83 81 70 05 81 31 32 33 34 A1"));
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_RING); }));
  EXPECT_STREQ(ring_.callednum, "1234");
  EXPECT_EQ(ring_.channel & 0xFF, 1);
  pri_proceeding(pri_, ring_.call, ring_.channel, 0);
  ASSERT_TRUE(run_until([&] { return owner_->received_type("08 02 80 05 02"); }));
  EXPECT_EQ(lapd->stats().rejected + lapd->stats().bad_confirmations, 0u);
}

TEST_F(LibpriTest, PriNetworkAgainstLibpriUser) {
  ISDN::LAPD* lapd = start_lapd(ISDN::Side::network, false);
  ASSERT_TRUE(pri_ = pri_new(socket_.peer, PRI_CPE, PRI_SWITCH_EUROISDN_E1));
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_DCHAN_UP) && lapd->full_state().state == 6; }));
  q931_call* call = pri_new_call(pri_);
  ASSERT_NE(call, nullptr);
  char called[] = "5678", caller[] = "100";
  ASSERT_EQ(pri_call(pri_, call, PRI_TRANS_CAP_SPEECH, 1, 1, 0, caller, PRI_UNKNOWN, nullptr,
                     PRES_ALLOWED_USER_NUMBER_NOT_SCREENED, called, PRI_UNKNOWN, PRI_LAYER_1_ALAW),
            0);
  ASSERT_TRUE(run_until([&] { return !owner_->received.empty(); }));
  // A SETUP with a two-octet call reference, which the trace decoder reads.
  const std::string m = unhex(owner_->received.front());
  ASSERT_EQ(m.substr(0, 2), unhex("08 02"));
  EXPECT_EQ(m[4], 0x05);
  const std::string frame = unhex("02 01 00 00") + m;
  ISDN::dlogframe(reinterpret_cast<const unsigned char*>(frame.data()), unsigned(frame.size()), 1,
                  ISDN::logbuf);
  const std::string text = ISDN::logbuf;
  EXPECT_NE(text.find("message type SETUP\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    number digits 5678\n"), std::string::npos) << text;
}

TEST_F(LibpriTest, BriUserTakesTeiFromLibpriMultipointNetwork) {
  ISDN::LAPD* lapd = start_lapd(ISDN::Side::user, true);
  ASSERT_TRUE(pri_ = pri_new_bri(socket_.peer, 0, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1));
  lapd->mdl_remove();
  lapd->activate();
  ASSERT_TRUE(run_until([&] { return lapd->full_state().state == 6; }));
  EXPECT_GE(lapd->full_state().self_tei, 64u);
  EXPECT_LE(lapd->full_state().self_tei, 126u);
}

// libpri as a point-to-multipoint terminal under our network side: it takes TEI 64 to answer a
// broadcast SETUP, and the DISCONNECT of its call is routed to it by the call reference.
TEST_F(LibpriTest, LibpriTerminalUnderOurNetworkSide) {
  Keepalive keepalive;
  auto* nt = new ISDN::LAPD_NT;
  owner_->add_protocol_head(nt);
  receive_ = [nt](Packet& f) { nt->receive(f); };
  ASSERT_TRUE(pri_ = pri_new_bri(socket_.peer, 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1));
  nt->activate();
  send_octets(*nt, unhex("08 01 01 05 04 03 80 90 A3 18 01 89"));
  ASSERT_TRUE(run_until([&] { return saw(PRI_EVENT_RING); }));
  ASSERT_EQ(pri_proceeding(pri_, ring_.call, 1, 0), 0);
  ASSERT_TRUE(run_until([&] { return owner_->received_type("08 01 81 02"); }));
  EXPECT_EQ(nt->user(0).tei(), 64);
  send_octets(*nt, unhex("08 01 01 45 08 02 80 90"));
  EXPECT_TRUE(run_until([&] { return saw(PRI_EVENT_HANGUP_REQ); }));
}

// A libpri terminal with ten calls of its own under our network side: the ALERTING sent to each
// call reference reaches it, once per call.
TEST_F(LibpriTest, LibpriTerminalWithTenCallsGetsTheAlertingOfEach) {
  constexpr unsigned kCalls = 10;
  Keepalive keepalive;
  auto* nt = new ISDN::LAPD_NT;
  owner_->add_protocol_head(nt);
  receive_ = [nt](Packet& f) { nt->receive(f); };
  ASSERT_TRUE(pri_ = pri_new_bri(socket_.peer, 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1));
  nt->activate();
  char called[] = "5678", caller[] = "100";
  for (unsigned i = 0; i < kCalls; ++i) {
    q931_call* call = pri_new_call(pri_);
    ASSERT_NE(call, nullptr);
    ASSERT_EQ(pri_call(pri_, call, PRI_TRANS_CAP_SPEECH, 1 + i % 2, 0, 0, caller, PRI_UNKNOWN,
                       nullptr, PRES_ALLOWED_USER_NUMBER_NOT_SCREENED, called, PRI_UNKNOWN,
                       PRI_LAYER_1_ALAW),
              0);
  }
  // The SETUPs, each with a one-octet call reference of its own.
  std::vector<std::string> setups;
  ASSERT_TRUE(run_until([&] {
    setups.clear();
    for (const std::string& m : owner_->received) {
      const std::string o = unhex(m);
      if (o.size() > 3 && o.substr(0, 2) == unhex("08 01") && o[3] == 0x05) setups.push_back(o);
    }
    return setups.size() == kCalls;
  }));
  for (const std::string& setup : setups) {
    const unsigned crv = static_cast<unsigned char>(setup[2]);
    ASSERT_LT(crv, 0x80u);
    // ALERTING with B channel 1, the flag set: the side that did not choose the reference.
    send_octets(*nt, std::string{0x08, 0x01, char(crv | 0x80), 0x01} + unhex("18 01 89"));
  }
  EXPECT_TRUE(run_until([&] { return ringing_.size() >= kCalls; }));
  std::sort(ringing_.begin(), ringing_.end());
  EXPECT_EQ(std::unique(ringing_.begin(), ringing_.end()) - ringing_.begin(), int(kCalls));
  EXPECT_EQ(nt->calls().count(), kCalls);
}

}  // namespace
