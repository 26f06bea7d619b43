// Control::SocketCalls: the socket calls of the TCP transports, replaceable so that tests can
// play what loopback cannot show (no descriptor left, a congested connection, a connect that
// fails at once). Beside them, the calls of the UNIX-domain transports.
#pragma once

#include <sys/socket.h>

#include <string>

#include "base/fd.h"
#include "base/inet4_addr.h"

namespace Control {

class SocketCalls {
 public:
  virtual ~SocketCalls() = default;
  // A close-on-exec TCP socket; closed, with errno set, when it cannot be created.
  virtual Fd tcp_socket();
  // accept4(2) with close-on-exec; closed, with errno set, when no peer was taken.
  virtual Fd accept(int listening, INet4::Addr* from);
  // connect(2): 0, or -1 with errno.
  virtual int connect(int fd, const INet4::Addr& to);
  // The socket's pending error (SO_ERROR) into *error; false, with errno set, when the query
  // itself fails.
  virtual bool pending_error(int fd, int* error);
  // The TCP state and the congestion state (TCP_INFO); false, with errno set, when the query
  // fails.
  virtual bool tcp_info(int fd, unsigned char* state, unsigned char* ca_state);

  // The system's calls.
  static SocketCalls& system();
};

// The local port a socket is bound to; 0 when it is closed or unbound.
unsigned short LocalPort(const Fd& socket);

// UNIX-domain stream sockets. The address holds the path with its terminating zero in 108
// bytes, so a path of more than 107 characters is refused with ENAMETOOLONG rather than cut to
// another path.

// A close-on-exec UNIX-domain stream socket; closed, with errno set, when it cannot be created.
Fd UnixSocket();
// bind(2) and connect(2) to `path`: 0, or -1 with errno.
int BindUnix(int socket, const std::string& path);
int ConnectUnix(int socket, const std::string& path);
// accept4(2) with close-on-exec; *peer gets the path the peer is bound to, empty when it has
// none. Closed, with errno set, when no peer was taken.
Fd AcceptUnix(int listening, std::string* peer);
// Removes the file at `path` when it is a socket, one left behind by an earlier listener.
void RemoveStaleSocket(const std::string& path);

}  // namespace Control
