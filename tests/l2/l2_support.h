// Helpers of the link-layer tests: octets, tshark's reading of a pcap capture, a socket to a peer
// library.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/timer.h"
#include "proto/packet.h"
#include "proto/protocol.h"
#include "tests/support/hdlc_wire.h"  // have_tshark, tshark_read

// Octets from a hex text such as "02 FF 03".
std::string unhex(const std::string& text);
// A packet holding `octets`, with `head` octets of head room.
inline Packet packet_of(const std::string& octets, unsigned head = 0) {
  Packet p;
  p.reserve_head(head);
  if (!octets.empty())
    std::memcpy(p.put(static_cast<unsigned>(octets.size())), octets.data(), octets.size());
  return p;
}

// The last of `items`, or "(none)": a failed expectation, never a crash, when there is none.
inline std::string last_of(const std::vector<std::string>& items) {
  return items.empty() ? "(none)" : items.back();
}

// "tshark -n -r CAPTURE ARGS -T fields -E separator=|", one line per frame.
std::vector<std::string> tshark_fields(const std::string& capture, const std::string& args);

// A layer-3 message down through `link`.
inline void send_octets(Protocol& link, const std::string& octets) {
  Packet p;
  link.prepare_head(p);
  for (char c : octets) p.put8(static_cast<unsigned char>(c));
  link.message(p);
}

// A far timer, so that a test turning the loop with nothing pending is not taken for hung.
struct Keepalive {
  Keepalive() { timer.set(3600 * 1000, &Keepalive::none, this); }
  void none() {}
  Timer timer;
};

// A socket pair between our link and a peer library (libpri, libss7) driving its end as a D
// channel: one frame per datagram, with two check octets that our side adds and strips.
class FrameSocket {
 public:
  FrameSocket();
  ~FrameSocket();
  FrameSocket(const FrameSocket&) = delete;
  FrameSocket& operator=(const FrameSocket&) = delete;

  bool ok() const { return ours >= 0; }
  bool write(const Packet& p);
  // Every frame waiting on our side.
  void read(const std::function<void(Packet&)>& take);
  bool peer_readable() const;

  int ours = -1;
  int peer = -1;
};

// Runs `turn` until `done` holds, at most `limit` times.
bool turns_until(const std::function<bool()>& done, int limit, const std::function<void()>& turn);
