#include "proto/socket_calls.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

namespace Control {

Fd SocketCalls::tcp_socket() {
  return Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

Fd SocketCalls::accept(int listening, INet4::Addr* from) {
  socklen_t len = INet4::Addr::size;
  return Fd(::accept4(listening, from->sa(), &len, SOCK_CLOEXEC));
}

int SocketCalls::connect(int fd, const INet4::Addr& to) {
  return ::connect(fd, to.sa(), INet4::Addr::size);
}

bool SocketCalls::pending_error(int fd, int* error) {
  socklen_t len = sizeof *error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, error, &len) == 0;
}

bool SocketCalls::tcp_info(int fd, unsigned char* state, unsigned char* ca_state) {
  // The record's head: the TCP state, then the congestion state, each one byte.
  unsigned char info[92] = {};
  socklen_t len = sizeof info;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, info, &len) != 0) return false;
  *state = info[0];
  *ca_state = info[1];
  return true;
}

SocketCalls& SocketCalls::system() {
  static SocketCalls calls;
  return calls;
}

unsigned short LocalPort(const Fd& socket) {
  INet4::Addr local;
  socklen_t len = INet4::Addr::size;
  if (!socket || ::getsockname(socket.get(), local.sa(), &len) != 0) return 0;
  return ntohs(local.in().sin_port);
}

}  // namespace Control
