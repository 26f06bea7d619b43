// Session: one open of a simulated device. The simulator keeps one end of a SOCK_SEQPACKET
// socket pair; the daemon got the other, whose inode names the session in ioctl requests. Each
// frame the daemon writes goes to the device's model; each record the model queues is one read
// for the daemon. When the daemon's socket buffer is full, records wait in a backlog that is
// flushed as the daemon reads: none is lost. The session ends when the daemon's last descriptor
// of it closes (hang-up on the simulator's end).
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/unique_fd.h"

class DeviceNode;
class EventLoop;

class Session {
 public:
  Session(EventLoop& loop, DeviceNode& node, UniqueFd end, uint64_t inode, int flags);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  uint64_t inode() const { return inode_; }
  int flags() const { return flags_; }
  int fd() const { return end_.get(); }

  // Queues one record for the daemon to read.
  void send(std::string record);

  // The device was taken away: requests answer ENODEV, frames and records are dropped.
  void disconnect();
  bool gone() const { return gone_; }

  // From now on every write of the daemon on this session fails with EPIPE.
  void refuse_writes();

  // Stops (true) or resumes taking the daemon's frames. Held frames wait in the socket, so
  // the daemon's writes fail with EAGAIN once it is full and it sees POLLOUT when room returns.
  void hold_frames(bool held);

 private:
  void on_events(short revents);
  // Reads what the daemon wrote; false when the session has ended.
  bool read_frames(short revents);
  void flush();
  void update_events();

  EventLoop& loop_;
  DeviceNode& node_;
  UniqueFd end_;
  uint64_t inode_;
  int flags_;
  bool gone_ = false;
  bool reading_ = true;
  bool held_ = false;
  std::deque<std::string> backlog_;
};
