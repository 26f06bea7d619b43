#include "proto/acceptor_net.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace Control {

AcceptorNet::AcceptorNet(int port)
    : Acceptor("AcceptorNet::OnSocketEvent"), port_(static_cast<unsigned short>(port)) {}

AcceptorNet::AcceptorNet(int port, bool log) : AcceptorNet(port) { set_log(log); }

AcceptorNet::~AcceptorNet() = default;

unsigned short AcceptorNet::local_port() const { return LocalPort(listening()); }

Fd AcceptorNet::NewSocket() {
  Fd s = calls().tcp_socket();
  const int on = 1;
  if (s) ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return s;
}

int AcceptorNet::BindAddress(int socket) {
  INet4::Addr any;
  any.in().sin_port = htons(port_);
  any.in().sin_addr.s_addr = htonl(INADDR_ANY);
  return ::bind(socket, any.sa(), INet4::Addr::size);
}

Fd AcceptorNet::AcceptPeer(int listening, INet4::Addr* from) {
  return calls().accept(listening, from);
}

}  // namespace Control
