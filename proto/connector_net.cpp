#include "proto/connector_net.h"

#include <netinet/in.h>

#include <iostream>

namespace Control {

ConnectorNet::ConnectorNet(const std::string& host, unsigned short port)
    : Connector("ConnectorNet::OnSocketEvent", {"socket", "already connected to "}),
      port_(port),
      host_(host) {}

ConnectorNet::~ConnectorNet() = default;

bool ConnectorNet::PeerAddress(INet4::Addr* to) const {
  to->Reset();
  to->in().sin_port = htons(port_);
  return to->Assign(host_);
}

bool ConnectorNet::ImplActivate() {
  INet4::Addr to;
  if (!PeerAddress(&to)) {
    std::cerr << "can't connect to \"" << host_ << "\": not a dotted address" << std::endl;
    return false;
  }
  return Connector::ImplActivate();
}

Fd ConnectorNet::NewSocket() { return calls().tcp_socket(); }

void ConnectorNet::Target(INet4::Addr* to) const { PeerAddress(to); }

int ConnectorNet::ConnectTo(int socket, const INet4::Addr& to) {
  return calls().connect(socket, to);
}

bool ConnectorNet::PendingError(int socket, int* error) {
  return calls().pending_error(socket, error);
}

}  // namespace Control
