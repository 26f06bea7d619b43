// Our basic-rate network side against libpri as a terminal (point-to-multipoint, TE) over a
// SOCK_SEQPACKET socket pair, one frame per datagram: libpri reads and writes its descriptor the
// way it drives a D channel, with two check octets at the end of every frame, which our end adds
// and strips.
//
// libpri keeps its timers on the system clock, so this test runs on it too; every wait is a
// bounded number of turns and nothing asserts a duration.
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
#include <memory>
#include <string>
#include <vector>

#include "base/timer.h"
#include "l2/isdn/lapd_nt.h"
#include "proto/protocol.h"
#include "tests/support/loop_turns.h"

namespace {

// The exchange: our network side under a stack whose frames go to the socket.
class Exchange : public ProtocolsList {
 public:
  explicit Exchange(int fd) : fd_(fd), nt(new ISDN::LAPD_NT) { add_protocol_head(nt); }
  void transmit(Packet& p) override {
    const Packet& bytes = p;
    std::string octets(reinterpret_cast<const char*>(bytes->data), p.length());
    octets.append(2, '\0');
    ASSERT_EQ(::write(fd_, octets.data(), octets.size()), ssize_t(octets.size()));
  }
  void on_message(Packet& p) override { up.push_back(p.text()); }
  void read_frames() {
    unsigned char buffer[600];
    for (pollfd p{fd_, POLLIN, 0}; ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 2) return;
      Packet frame;
      frame.reserve_head(0);
      std::memcpy(frame.put(unsigned(n - 2)), buffer, size_t(n - 2));
      nt->receive(frame);
    }
  }
  // A layer-3 message from above.
  void send(const std::vector<unsigned char>& octets) {
    Packet m;
    nt->prepare_head(m);
    for (unsigned char c : octets) m.put8(c);
    nt->message(m);
  }

  int fd_;
  ISDN::LAPD_NT* nt;
  std::vector<std::string> up;
};

void quiet(struct pri*, char*) {}

struct Keepalive {
  Keepalive() { timer.set(3600 * 1000, &Keepalive::none, this); }
  void none() {}
  Timer timer;
};

class LibpriTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_), 0);
    pri_set_message(quiet);
    pri_set_error(quiet);
    pri_ = pri_new_bri(fds_[1], 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1);
    ASSERT_TRUE(pri_);
    exchange_.reset(new Exchange(fds_[0]));
    exchange_->nt->activate();
  }
  void TearDown() override {
    exchange_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }

  void handle(pri_event* e) {
    if (!e) return;
    events_.push_back(e->e);
    if (e->e == PRI_EVENT_RING) ring_ = e->ring.call;
  }
  // One turn: libpri's timers and frames, then ours.
  void turn() {
    struct timeval now;
    ::gettimeofday(&now, nullptr);
    if (struct timeval* next = pri_schedule_next(pri_))
      if (timercmp(next, &now, <=)) handle(pri_schedule_run(pri_));
    for (pollfd p{fds_[1], POLLIN, 0}; ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);)
      handle(pri_check_event(pri_));
    exchange_->read_frames();
    run_loop_turn();
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
  struct pri* pri_ = nullptr;
  Keepalive keepalive_;
  std::unique_ptr<Exchange> exchange_;
  std::vector<int> events_;
  q931_call* ring_ = nullptr;
};

TEST_F(LibpriTerminal, TakesATeiAnswersABroadcastSetupAndGetsItsCallsMessages) {
  // SETUP, call reference 1: bearer capability speech, channel B1, exclusive.
  exchange_->send({0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18, 0x01, 0x89});
  ASSERT_TRUE(turns_until([&] { return ring_ != nullptr; }, 500));
  ASSERT_EQ(pri_proceeding(pri_, ring_, 1, 0), 0);
  // libpri takes a TEI to answer (our first: 64) and its CALL PROCEEDING comes up.
  ASSERT_TRUE(turns_until([&] {
    for (const std::string& m : exchange_->up)
      if (m.compare(0, 11, "08 01 81 02") == 0) return true;
    return false;
  }, 500));
  EXPECT_EQ(exchange_->nt->user(0).tei(), 64);
  EXPECT_NE(exchange_->nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
  // A DISCONNECT for that call (from its originator: flag clear) reaches libpri, routed by the
  // call reference.
  exchange_->send({0x08, 0x01, 0x01, 0x45, 0x08, 0x02, 0x80, 0x90});
  EXPECT_TRUE(turns_until([&] { return seen(PRI_EVENT_HANGUP_REQ); }, 500));
}

}  // namespace
