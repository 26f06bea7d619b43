// SyslogSink: the board's system log socket DIR/dev/log. A datagram socket that takes every
// record the daemon sends there (and whatever its descriptors 1 and 2 write in daemon mode)
// and appends each, as one line, to the file DIR/var/log/messages. Closing removes the socket.
#pragma once

#include <string>

#include "sim/unique_fd.h"

class EventLoop;

class SyslogSink {
 public:
  // `root` is the board's tree.
  SyslogSink(EventLoop& loop, const std::string& root);
  ~SyslogSink() { close(); }
  SyslogSink(const SyslogSink&) = delete;
  SyslogSink& operator=(const SyslogSink&) = delete;

  // Opens the file and binds the socket (replacing a stale one); false with errno on failure.
  bool open();
  void close();

 private:
  void read_all();

  EventLoop& loop_;
  std::string socket_path_;
  std::string file_path_;
  UniqueFd socket_;
  UniqueFd file_;
};
