// Loopback TCP for tests and benchmarks: a listener, a client of a local server, and TPKT framing
// of what it sends.
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

// `payload` in one TPKT frame (RFC 1006 section 6).
std::string tpkt(const std::string& payload);
