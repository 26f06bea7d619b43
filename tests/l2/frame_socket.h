// The socket pair between our link and a peer library (libpri, libss7) that drives its end as a
// D channel: one frame per datagram with two check octets at the end, which our side adds and
// strips. The libraries keep their timers on the system clock, so these tests wait in a bounded
// number of turns and assert no duration.
#pragma once

#include <functional>

#include "proto/packet.h"

class FrameSocket {
 public:
  // A SOCK_SEQPACKET pair, non-blocking and close-on-exec; ok() tells whether it opened.
  FrameSocket();
  ~FrameSocket();
  FrameSocket(const FrameSocket&) = delete;
  FrameSocket& operator=(const FrameSocket&) = delete;

  bool ok() const { return ours >= 0; }
  // One frame from our side.
  bool write(const Packet& p);
  // Every frame waiting on our side, check octets removed.
  void read(const std::function<void(Packet&)>& take);
  // The peer library's side has a frame to read.
  bool peer_readable() const;

  int ours = -1;
  int peer = -1;
};

// Runs `turn` until `done` holds, at most `limit` times.
bool turns_until(const std::function<bool()>& done, int limit, const std::function<void()>& turn);
