// Two SS7 links back to back for the benchmarks, on a wire that carries each signal unit once,
// when pump() delivers it; each link sits under a layer-3 owner that keeps what reaches it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "l2/ss7/slc.h"
#include "proto/protocol.h"

using Bytes = std::vector<unsigned char>;

Bytes bytes_of(const Packet& p);
// A packet holding b, with `head` octets of head room.
Packet packet_of(const Bytes& b, unsigned head = 3);
// An MSU of `len` octets whose first two carry its number.
Bytes numbered(unsigned n, unsigned len = 5);

// One end of the wire and the layer-3 owner of its link.
struct SlcEnd : GenericHDLC, ProtocolsList {
  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return true; }
  bool is_ready() const override { return refuse == 0; }
  void on_activated(Protocol*) override { ++ups; }
  void on_deactivated(Protocol*, Protocol_status s) override { downs.push_back(s->message()); }
  void on_message(Packet& p) override;

  SS7::SLC* slc = nullptr;
  // Units to refuse before taking one again.
  unsigned refuse = 0;
  int ups = 0;
  // Only counted, not kept.
  bool count_only = false;
  unsigned received_count = 0;
  std::vector<std::string> downs;
  std::vector<Bytes> received;
  // Sent and not yet delivered.
  std::vector<Bytes> sent;
  // Every unit sent, when set.
  std::vector<Bytes>* capture = nullptr;
};

class SlcPair {
 public:
  SlcPair() { fresh(); }
  ~SlcPair();
  SlcPair(const SlcPair&) = delete;
  SlcPair& operator=(const SlcPair&) = delete;

  // New links at both ends, nothing on the wire.
  void fresh();
  // Delivers what was sent, in order, until nothing is left.
  void pump();
  // An MSU from the owner of `from`.
  void send(SlcEnd& from, const Bytes& msu);

  SlcEnd a, b;
  // Whether a unit from `from` is lost.
  std::function<bool(const SlcEnd& from, const Bytes&)> lose;
};
