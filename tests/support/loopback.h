// Local sockets for tests and benchmarks: a TCP listener and client on loopback, UDP on loopback,
// UNIX-domain sockets at a path, and TPKT framing.
#pragma once

#include <string>

#include "base/fd.h"

// A listening TCP socket on 127.0.0.1 at a port of the kernel's choice.
class LoopbackListener {
 public:
  // Keeps up to `backlog` peers waiting to be accepted.
  explicit LoopbackListener(int backlog = 64);
  unsigned short port() const { return port_; }
  const Fd& fd() const { return fd_; }
  // The next waiting peer, non-blocking and close-on-exec; closed when none waits.
  Fd accept() const;

 private:
  Fd fd_;
  unsigned short port_ = 0;
};

// A TCP port that nothing listens on right now; 0 when none could be had.
unsigned short free_port();

// A blocking client connected to 127.0.0.1:port with TCP_NODELAY; closed when refused.
Fd connect_loopback(unsigned short port);

// A UDP socket bound to 127.0.0.1:port (0 takes a free port), with SO_REUSEADDR when `reuse`;
// closed when the bind fails.
Fd udp_loopback(unsigned short port, bool reuse = false);
// The local port of a bound socket; 0 when it has none.
unsigned short local_port(const Fd& socket);
// One datagram arriving on `socket` within `timeout_ms`, and the port it came from; "" when none
// came.
std::string receive_datagram(const Fd& socket, int timeout_ms, unsigned short* from = nullptr);

// A UNIX-domain socket of `type` (flags such as SOCK_NONBLOCK may be or-ed in), close-on-exec:
// bound at `bind_to` unless it is empty (and listening when it connects nowhere and its type takes
// connections), then connected to `connect_to` unless that is empty; closed when a step fails.
Fd unix_socket(int type, const std::string& bind_to, const std::string& connect_to = "");

// `payload` in one TPKT frame (RFC 1006 section 6).
std::string tpkt(const std::string& payload);
