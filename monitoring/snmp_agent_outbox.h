// SnmpAgentOutbox: the frames an agent link has sent and its agent's socket has not taken yet.
//
// The link writes to its agent without ever waiting on it: each frame (one TPKT frame of one
// MON::Message, framed here as the control connection frames it) is written at once as far as
// the socket takes it; the rest waits here, in order, and goes out as the socket becomes
// writable, polled from the event loop. At most kBound bytes wait: a frame that would go beyond
// is dropped whole and counted, so an agent that does not read costs a bounded amount of memory
// and no time. What waits is dropped when the connection ends. Once a link that dropped frames
// has written all that waited, it is told so: its agent has missed values and can be given the
// whole state again.
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

  // `failed` is called when a write fails for another reason than a full socket; the outbox
  // has let go of the socket and dropped what waited. `caught_up` is called when nothing waits
  // any more after frames were dropped.
  SnmpAgentOutbox(std::function<void()> failed, std::function<void()> caught_up);
  SnmpAgentOutbox(const SnmpAgentOutbox&) = delete;
  SnmpAgentOutbox& operator=(const SnmpAgentOutbox&) = delete;

  // Writes on a duplicate of the connected `socket` from now on.
  void Attach(const Fd& socket);
  // Lets go of the socket and drops what waits.
  void Detach();
  // Frames `payload` (at most 65531 bytes) and writes it, or queues what the socket does not
  // take. False when it was dropped: the bound is reached, or no socket is attached.
  bool Push(const char* payload, size_t length);

  size_t queued() const { return queued_; }
  uint64_t dropped() const { return dropped_; }

 private:
  // Writes what waits until the socket is full or nothing waits; polls for room while anything
  // is left.
  void Flush();
  void OnWritable(int fd, short revents);

  std::function<void()> failed_;
  std::function<void()> caught_up_;
  Fd socket_;
  Event event_;
  std::deque<std::string> frames_;
  size_t offset_ = 0;  // bytes of the first frame already written
  size_t queued_ = 0;  // bytes waiting, the written part of the first frame excluded
  uint64_t dropped_ = 0;
  // Frames were dropped since the socket was attached or the outbox last caught up.
  bool missed_ = false;
};
