// Our basic-rate network side against libpri as a terminal (point-to-multipoint, TE) on a
// FrameSocket.
#include <gtest/gtest.h>
extern "C" {
#include <libpri.h>
}
#include <sys/time.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/timer.h"
#include "l2/isdn/lapd_nt.h"
#include "proto/protocol.h"
#include "tests/l2/frame_socket.h"
#include "tests/support/loop_turns.h"

namespace {

// The exchange: our network side under a stack whose frames go to the socket.
class Exchange : public ProtocolsList {
 public:
  explicit Exchange(FrameSocket& socket) : socket_(socket), nt(new ISDN::LAPD_NT) {
    add_protocol_head(nt);
  }
  void transmit(Packet& p) override { socket_.write(p); }
  void on_message(Packet& p) override { up.push_back(p.text()); }
  // A layer-3 message from above.
  void send(std::initializer_list<unsigned char> octets) {
    Packet m;
    nt->prepare_head(m);
    for (unsigned char c : octets) m.put8(c);
    nt->message(m);
  }

  FrameSocket& socket_;
  ISDN::LAPD_NT* nt;
  std::vector<std::string> up;
};

void quiet(struct pri*, char*) {}

struct Keepalive {
  Keepalive() { timer.set(3600 * 1000, &Keepalive::none, this); }
  void none() {}
  Timer timer;
};

TEST(LibpriTerminal, TakesATeiAnswersABroadcastSetupAndGetsItsCallsMessages) {
  FrameSocket socket;
  ASSERT_TRUE(socket.ok());
  Keepalive keepalive;
  pri_set_message(quiet);
  pri_set_error(quiet);
  struct pri* pri = pri_new_bri(socket.peer, 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1);
  ASSERT_TRUE(pri);
  Exchange exchange(socket);
  exchange.nt->activate();
  std::vector<int> events;
  q931_call* ring = nullptr;
  auto handle = [&](pri_event* e) {
    if (!e) return;
    events.push_back(e->e);
    if (e->e == PRI_EVENT_RING) ring = e->ring.call;
  };
  auto turn = [&] {
    struct timeval now;
    ::gettimeofday(&now, nullptr);
    if (struct timeval* next = pri_schedule_next(pri))
      if (timercmp(next, &now, <=)) handle(pri_schedule_run(pri));
    while (socket.peer_readable()) handle(pri_check_event(pri));
    socket.read([&](Packet& frame) { exchange.nt->receive(frame); });
    run_loop_turn();
  };

  // SETUP, call reference 1: bearer capability speech, channel B1, exclusive.
  exchange.send({0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18, 0x01, 0x89});
  ASSERT_TRUE(turns_until([&] { return ring != nullptr; }, 500, turn));
  ASSERT_EQ(pri_proceeding(pri, ring, 1, 0), 0);
  // libpri takes a TEI to answer (our first: 64) and its CALL PROCEEDING comes up.
  ASSERT_TRUE(turns_until([&] {
    return std::any_of(exchange.up.begin(), exchange.up.end(),
                       [](const std::string& m) { return m.compare(0, 11, "08 01 81 02") == 0; });
  }, 500, turn));
  EXPECT_EQ(exchange.nt->user(0).tei(), 64);
  EXPECT_NE(exchange.nt->user(0).state(), ISDN::LAPD_NT_user::unassigned);
  // A DISCONNECT for that call (from its originator: flag clear) reaches libpri, routed by the
  // call reference.
  exchange.send({0x08, 0x01, 0x01, 0x45, 0x08, 0x02, 0x80, 0x90});
  EXPECT_TRUE(turns_until([&] {
    return std::find(events.begin(), events.end(), PRI_EVENT_HANGUP_REQ) != events.end();
  }, 500, turn));
}

}  // namespace
