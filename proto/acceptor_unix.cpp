#include "proto/acceptor_unix.h"

#include "proto/socket_calls.h"

namespace Control {

AcceptorUnix::AcceptorUnix(const std::string& path)
    : Acceptor("AcceptorUnix::OnSocketEvent"), path_(path) {}

AcceptorUnix::~AcceptorUnix() = default;

Fd AcceptorUnix::NewSocket() { return UnixSocket(); }

int AcceptorUnix::BindAddress(int socket) {
  RemoveStaleSocket(path_);
  return BindUnix(socket, path_);
}

Fd AcceptorUnix::AcceptPeer(int listening, std::string* from) {
  return AcceptUnix(listening, from);
}

}  // namespace Control
