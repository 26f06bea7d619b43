#include "tests/l2/s0_bus.h"

S0Bus::Terminal::Terminal(S0Bus& bus, int index)
    : lapd(new ISDN::LAPD(ISDN::Side::user, 0)), bus_(bus), index_(index) {
  lapd->hdlc = this;
  lapd->change_to_bri();
  lapd->mdl_remove();  // no TEI yet: the link asks for one
  add_protocol_tail(lapd);
}

bool S0Bus::Terminal::hdlc_transmit(Packet& frame) {
  bus_.queue_.push_back({index_, frame});
  return true;
}

S0Bus::Exchange::Exchange(S0Bus& bus) : nt(new ISDN::LAPD_NT), bus_(bus) {
  add_protocol_head(nt);
}

void S0Bus::Exchange::transmit(Packet& p) { bus_.queue_.push_back({-1, p}); }

S0Bus::S0Bus(unsigned count) : exchange(*this) {
  for (unsigned i = 0; i < count; ++i) terminals.emplace_back(new Terminal(*this, int(i)));
}

unsigned S0Bus::pump() {
  unsigned down = 0;
  for (size_t i = 0; i < queue_.size() && i < 100000; ++i) {
    const Frame f = queue_[i];
    if (f.from < 0) ++down;
    if (lose && lose(f)) continue;
    if (f.from >= 0) {
      Packet copy = f.bytes;
      exchange.nt->receive(copy);
      continue;
    }
    for (auto& t : terminals) {
      Packet copy = f.bytes;
      t->lapd->on_hdlc_receive(copy);
    }
  }
  queue_.clear();
  return down;
}
