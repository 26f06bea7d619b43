// RequestSocket: DIR/dev/.board, where the device seam sends the requests (ioctls) made on
// simulated devices. Each message is one request (base/device_wire.h) and gets one answer on
// the same connection; the handler finds the session by the descriptor's inode and answers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/listener.h"
#include "sim/unique_fd.h"

class EventLoop;

class RequestSocket {
 public:
  using Handler = std::function<IoctlResult(uint64_t inode, IoctlCall& call)>;

  RequestSocket(EventLoop& loop, std::string path, Handler handler);
  ~RequestSocket();
  RequestSocket(const RequestSocket&) = delete;
  RequestSocket& operator=(const RequestSocket&) = delete;

  // Creates the socket; false with errno on failure.
  bool open() { return listener_.open(); }

 private:
  void add_connection(UniqueFd fd);
  void serve(int connection, short revents);
  // Answers one message of `size` bytes in `message`; false when the connection must close.
  bool answer(int connection, const std::vector<char>& message, size_t size);
  void close_connection(int connection);

  EventLoop& loop_;
  Handler handler_;
  Listener listener_;
  std::map<int, UniqueFd> connections_;
  std::map<int, int32_t> peers_;  // the process at the other end of each connection
  // Kept between requests: the largest message is 64 KiB.
  std::vector<char> message_;
  std::string answer_;
};
