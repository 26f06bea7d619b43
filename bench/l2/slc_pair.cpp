#include "bench/l2/slc_pair.h"

Bytes bytes_of(const Packet& p) {
  Bytes b;
  for (unsigned i = 0; i < p.length(); ++i) b.push_back(p[static_cast<int>(i)]);
  return b;
}

Packet packet_of(const Bytes& b, unsigned head) {
  Packet p;
  p.reserve_head(head);
  for (unsigned char c : b) p.put8(c);
  return p;
}

Bytes numbered(unsigned n, unsigned len) {
  Bytes b(len, 0x5A);
  b[0] = static_cast<unsigned char>(n >> 8);
  b[1] = static_cast<unsigned char>(n);
  return b;
}

bool SlcEnd::hdlc_transmit(Packet& frame) {
  if (refuse) {
    --refuse;
    return false;
  }
  sent.push_back(bytes_of(frame));
  if (capture) capture->push_back(sent.back());
  return true;
}

void SlcEnd::on_message(Packet& p) {
  ++received_count;
  if (!count_only) received.push_back(bytes_of(p));
}

SlcPair::~SlcPair() {
  for (SlcEnd* e : {&a, &b}) delete e->slc;
}

void SlcPair::fresh() {
  lose = nullptr;
  for (SlcEnd* e : {&a, &b}) {
    delete e->slc;
    e->refuse = 0;
    e->ups = 0;
    e->received_count = 0;
    e->downs.clear();
    e->received.clear();
    e->sent.clear();
    e->slc = new SS7::SLC;
    e->slc->hdlc = e;
    e->add_protocol_head(e->slc);
  }
  b.slc->slc = 1;
}

void SlcPair::pump() {
  size_t done[2] = {0, 0};
  for (bool moved = true; moved;) {
    moved = false;
    for (SlcEnd* from : {&a, &b}) {
      SlcEnd* to = from == &a ? &b : &a;
      size_t& i = done[from == &a ? 0 : 1];
      for (; i < from->sent.size(); ++i) {
        moved = true;
        const Bytes u = from->sent[i];
        if (lose && lose(*from, u)) continue;
        Packet p = packet_of(u, 0);
        to->slc->on_hdlc_receive(p);
      }
    }
  }
  a.sent.clear();
  b.sent.clear();
}

void SlcPair::send(SlcEnd& from, const Bytes& msu) {
  Packet p = packet_of(msu);
  from.slc->message(p);
}
