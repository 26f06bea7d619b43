#include "bench/l2/libss7_pair.h"

extern "C" {
#include <libss7.h>
}
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/l2/benchmark_message.h"
#include "bench/l2/peer_clock.h"
#include "tests/support/loop_turns.h"

// libss7's own functions, outside its public header.
extern "C" {
struct ss7_msg;
struct ss7_msg* ss7_msg_new(void);
unsigned char* ss7_msg_userpart(struct ss7_msg* m);
void ss7_msg_userpart_len(struct ss7_msg* m, int len);
int mtp2_msu(struct mtp2* link, struct ss7_msg* m);
int __real_mtp3_receive(struct ss7* ss7, struct mtp2* link, void* msg, int len);
int __wrap_mtp3_receive(struct ss7* ss7, struct mtp2* link, void* msg, int len);
ssize_t __real_read(int fd, void* buf, size_t n);
ssize_t __real_write(int fd, const void* buf, size_t n);
ssize_t __wrap_read(int fd, void* buf, size_t n);
ssize_t __wrap_write(int fd, const void* buf, size_t n);
}

namespace {

// Descriptor numbers no process opens this high: end i's is kFirstFd + i.
constexpr int kFirstFd = 1 << 20;
Libss7Pair::End* g_ends[2] = {nullptr, nullptr};

// Found by a subtraction, as our channels know their end without a search.
Libss7Pair::End* end_of(int fd) {
  const unsigned i = static_cast<unsigned>(fd - kFirstFd);
  return i < 2 ? g_ends[i] : nullptr;
}

void quiet(struct ss7*, char*) {}

}  // namespace

extern "C" ssize_t __wrap_read(int fd, void* buf, size_t n) {
  Libss7Pair::End* end = end_of(fd);
  if (!end) return __real_read(fd, buf, n);
  const long len = end->read(buf, n);
  if (len < 0) errno = EAGAIN;
  return len;
}

extern "C" ssize_t __wrap_write(int fd, const void* buf, size_t n) {
  Libss7Pair::End* end = end_of(fd);
  if (!end) return __real_write(fd, buf, n);
  if (!end->write(static_cast<const unsigned char*>(buf), static_cast<unsigned>(n))) {
    errno = EAGAIN;
    return -1;
  }
  // Three header octets and two check octets: a longer unit carries a message.
  end->wrote_msu = n > 3 + 2 + 2;
  return static_cast<ssize_t>(n);
}

extern "C" int __wrap_mtp3_receive(struct ss7* ss7, struct mtp2* link, void* msg, int len) {
  // Only the pair's two links carry benchmark messages.
  if (is_benchmark_message(static_cast<unsigned char*>(msg), static_cast<unsigned>(len))) {
    ++(g_ends[0]->ss7 == ss7 ? g_ends[0] : g_ends[1])->received;
    return 0;
  }
  return __real_mtp3_receive(ss7, link, msg, len);
}

void Libss7Pair::End::receive(const unsigned char* octets, unsigned len) {
  arrived = octets;
  arrived_len = len;
  ss7_read(ss7, fd);
  arrived = nullptr;
  take_events();
}

void Libss7Pair::End::take_events() {
  while (ss7_event* e = ss7_check_event(ss7)) {
    if (e->e == MTP2_LINK_UP) {
      up = true;
      link = e->link.link;
    } else if (e->e == MTP2_LINK_DOWN) {
      up = false;
    }
  }
}

void Libss7Pair::End::run_timers() {
  ss7_schedule_run(ss7);
  take_events();
}

void Libss7Pair::End::transmit() {
  do {
    wrote_msu = false;
    if (!(ss7_pollflags(ss7, fd) & POLLOUT) || !can_write()) break;
    ss7_write(ss7, fd);
  } while (wrote_msu);
}

Libss7Pair::Libss7Pair(HdlcWire& wire) : line_(wire, a, b) { start(); }

Libss7Pair::Libss7Pair(FrameRing& ring) : line_(ring, a, b) { start(); }

void Libss7Pair::start() {
  ss7_set_message(quiet);
  ss7_set_error(quiet);
  End* ends[] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    End& e = *ends[i];
    e.fd = kFirstFd + i;
    g_ends[i] = &e;
    e.ss7 = ss7_new(SS7_ITU);
    ss7_set_network_ind(e.ss7, SS7_NI_NAT);
    ss7_set_pc(e.ss7, static_cast<unsigned>(i + 1));
    ss7_add_link(e.ss7, SS7_TRANSPORT_DAHDIDCHAN, e.fd, 0, static_cast<unsigned>(2 - i));
  }
}

// libss7 frees an MSU when the far end acknowledges it, and ss7_destroy frees none that a link
// still holds: the acknowledgements still on the line are delivered first.
Libss7Pair::~Libss7Pair() {
  for (int i = 0; i < 10; ++i) turn();
  for (End* e : {&a, &b}) ss7_destroy(e->ss7);
  g_ends[0] = g_ends[1] = nullptr;
}

bool Libss7Pair::establish() {
  ss7_start(a.ss7);
  ss7_start(b.ss7);
  // Then a few more turns for the link tests that MTP3 runs on a new link.
  for (int i = 0, extra = 0; i < 5000 && extra < 50; ++i) {
    turn();
    PeerClock::advance_ms(10);
    if (a.up && b.up) ++extra;
  }
  return a.up && b.up && a.link && b.link;
}

// MTP3 writes the service information octet in front of the user part; the MSU given here
// starts with its own, which takes that place, so the unit carries exactly `len` octets, as
// ours does.
void Libss7Pair::send(const unsigned char* octets, int len) {
  ss7_msg* m = ss7_msg_new();
  std::memcpy(ss7_msg_userpart(m) - 1, octets, static_cast<size_t>(len));
  ss7_msg_userpart_len(m, len - 1);
  mtp2_msu(a.link, m);
}

void Libss7Pair::turn() {
  if (line_.ring)
    line_.ring->pass();
  else
    turns();
  a.run_timers();
  b.run_timers();
  transmit();
}

void Libss7Pair::run_next_timer() {
  PeerClock::advance_to_first(ss7_schedule_next(a.ss7), ss7_schedule_next(b.ss7));
  a.run_timers();
  b.run_timers();
}

void Libss7Pair::transmit() {
  a.transmit();
  b.transmit();
}
