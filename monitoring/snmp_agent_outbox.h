// SnmpAgentOutbox: the frames an agent link has sent and its agent's socket has not taken yet.
//
// The link writes to its agent without ever waiting on it: each frame (one TPKT frame of one
// MON::Message, framed here as the control connection frames it) is written at once as far as
// the socket takes it; the rest waits here, in order, and goes out as the socket becomes
// writable, polled from the event loop. Updates wait up to kBound bytes of their own: a frame
// that would go beyond is dropped whole and counted, so an agent that does not read costs a
// bounded amount of memory and no time. The frames of a whole state are never dropped for the
// bound (they cost at most the size of the state): an agent that reads slowly gets all of it, at
// its pace, and what changes meanwhile waits behind it. Nor are pings, a few bytes every 5 s
// until the link drops an agent that reads nothing. What waits is dropped when the connection
// ends. Once a link that dropped frames has written all that waited, it is told so: its agent has
// missed values and can be given the whole state again. A link is also told when a ping has
// been written whole, and can tell how long the socket has taken nothing of what waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "base/event.h"
#include "base/fd.h"

class SnmpAgentOutbox {
 public:
  static constexpr size_t kBound = 1 << 20;
  // The send buffer asked of the socket (the kernel doubles it).
  static constexpr int kSocketBuffer = 16 << 10;

  enum Kind {
    kUpdate,  // dropped beyond the bound
    kWhole,   // a part of a whole state: never dropped for the bound
    kPing,    // never dropped for the bound either; `pinged` is called once it is written whole
  };

  // `failed` is called when a write fails for another reason than a full socket; the outbox
  // has let go of the socket and dropped what waited. `caught_up` is called when nothing waits
  // any more after frames were dropped.
  SnmpAgentOutbox(std::function<void()> failed, std::function<void()> caught_up,
                  std::function<void()> pinged);
  SnmpAgentOutbox(const SnmpAgentOutbox&) = delete;
  SnmpAgentOutbox& operator=(const SnmpAgentOutbox&) = delete;

  // Writes on a duplicate of the connected `socket` from now on.
  void Attach(const Fd& socket);
  // Lets go of the socket and drops what waits.
  void Detach();
  // Frames `payload` (at most 65531 bytes) and writes it, or queues what the socket does not
  // take. False when it was dropped: the bound is reached (for an update), or no socket is
  // attached.
  bool Push(const char* payload, size_t length, Kind kind = kUpdate);

  size_t queued() const { return queued_; }
  // Milliseconds to `now` since the socket last took bytes of what waits, or since anything
  // started to wait; 0 when nothing waits.
  int32_t stalled_ms(uint32_t now) const;
  uint64_t dropped() const { return dropped_; }

 private:
  // Writes what waits until the socket is full or nothing waits; polls for room while anything
  // is left.
  void Flush();
  void OnWritable(int fd, short revents);

  std::function<void()> failed_;
  std::function<void()> caught_up_;
  std::function<void()> pinged_;
  Fd socket_;
  Event event_;
  struct Frame {
    std::string bytes;
    Kind kind;
  };
  std::deque<Frame> frames_;
  size_t offset_ = 0;  // bytes of the first frame already written
  size_t queued_ = 0;  // bytes waiting, the written part of the first frame excluded
  size_t whole_ = 0;   // the part of queued_ that belongs to whole-state frames
  uint32_t progress_ = 0;  // when the socket last took bytes, or frames started to wait
  uint64_t dropped_ = 0;
  // Frames were dropped since the socket was attached or the outbox last caught up.
  bool missed_ = false;
};
