// Listener: a listening UNIX socket at a path, watched on the loop. Every connection accepted
// (non-blocking, close-on-exec) goes to the handler. Closing removes the socket file.
#pragma once

#include <functional>
#include <string>

#include "sim/unique_fd.h"

class EventLoop;

class Listener {
 public:
  using Handler = std::function<void(UniqueFd connection)>;

  // `type` is SOCK_STREAM or SOCK_SEQPACKET.
  Listener(EventLoop& loop, std::string path, int type, Handler handler);
  ~Listener() { close(); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Creates the socket (replacing a stale one); false with errno on failure.
  bool open();
  void close();
  bool is_open() const { return bool(fd_); }

 private:
  void accept_all();

  EventLoop& loop_;
  std::string path_;
  int type_;
  Handler handler_;
  UniqueFd fd_;
};
