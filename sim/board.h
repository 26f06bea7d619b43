// Board: the simulated board under one root directory. It makes the tree the daemon expects
// (DIR/dev with one socket per device, DIR/dev/.board for requests, the folders the daemon
// writes to), keeps the registry of devices by name ("hal", "misc/gw-wd"), routes each request
// to its session by inode, and answers the control commands common to every device before
// handing the others to the device models.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/command.h"
#include "sim/device_model.h"
#include "sim/device_node.h"
#include "sim/request_socket.h"
#include "sim/syslog_sink.h"

class EventLoop;

class Board {
 public:
  Board(EventLoop& loop, std::string root);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // Makes the tree and every device of `models`; false (after a line on std::cerr) on failure.
  bool create(std::vector<std::unique_ptr<DeviceModel>> models);

  // One control command.
  Reply command(const Words& words);

  // Handles at once whatever the daemon already did on its sessions (frames written,
  // descriptors closed), so that a command sees all of it.
  void settle();

 private:
  DeviceNode* node(const std::string& name);
  Session* live_session(const std::string& device, uint64_t inode);
  IoctlResult ioctl(uint64_t inode, IoctlCall& call);

  Reply log(const Words& words);
  Reply fail(const Words& words);
  Reply plug(const Words& words, bool plugged);
  Reply sessions(const Words& words);
  Reply devices(const Words& words);

  EventLoop& loop_;
  std::string root_;
  std::vector<std::unique_ptr<DeviceNode>> nodes_;
  RequestSocket requests_;
  SyslogSink syslog_;
};
